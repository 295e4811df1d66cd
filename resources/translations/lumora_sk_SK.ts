<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="sk_SK">
<context>
    <name>Model</name>
    <message>
        <source>empty frame received
camera disconnected
or broken or bad cable
or bad driver</source>
        <translation>prijatý prázdny snímok
kamera je odpojená
alebo pokazená, zlý kábel
alebo zlý ovládač</translation>
    </message>
    <message>
        <source>empty frame received
camera disconnected
or broken or bad cable
or bad driver
or blocked by Windows privacy settings</source>
        <translation>prijatý prázdny snímok
kamera je odpojená
alebo pokazená, zlý kábel
alebo zlý ovládač
alebo ju blokujú nastavenia súkromia Windows</translation>
    </message>
    <message>
        <source>camera is occupied or not connected</source>
        <translation>kamera je obsadená alebo nie je pripojená</translation>
    </message>
    <message>
        <source>camera is occupied or not connected
or blocked by Windows privacy settings</source>
        <translation>kamera je obsadená alebo nie je pripojená
alebo ju blokujú nastavenia súkromia Windows</translation>
    </message>
    <message>
        <source>loading classifiers</source>
        <translation>načítavajú sa klasifikátory</translation>
    </message>
    <message>
        <source>missing file: data.dat or low memory</source>
        <translation>chýba súbor: data.dat alebo je málo pamäte</translation>
    </message>
    <message>
        <source>blink detected</source>
        <translation>žmurknutie zachytené</translation>
    </message>
</context>
</TS>
