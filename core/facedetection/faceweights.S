/* The face detector's weight file, built into the program (format: faceweights.h). */
    .section .rodata
    .balign 64
    .globl lumora_face_weights
    .hidden lumora_face_weights
    .type lumora_face_weights, @object
lumora_face_weights:
    .incbin "core/facedetection/faceweights.bin"
.Lface_weights_end:
    .size lumora_face_weights, . - lumora_face_weights

    .balign 8
    .globl lumora_face_weights_size
    .hidden lumora_face_weights_size
    .type lumora_face_weights_size, @object
lumora_face_weights_size:
    .quad .Lface_weights_end - lumora_face_weights
    .size lumora_face_weights_size, 8

    .section .note.GNU-stack,"",@progbits
