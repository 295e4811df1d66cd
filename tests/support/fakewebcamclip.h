#pragma once
// The fake webcam (libfakewebcam.so, fakewebcam.md) for tests: where the
// library lies, and its clip file made from a video with ffmpeg.

#include <QSize>
#include <QString>

// build/bin/libfakewebcam.so, for LD_PRELOAD.
QString fakeWebcamLibrary();

// The talking-face clip of this name ("cap12_edit.webm", "cap13_edit2.webm")
// that scripts/fetch-clips.sh fetches, in $LUMORA_CLIPS or its default
// folder; empty when it is not there.
QString talkingFaceClip(const QString& name);

// Decodes video into the raw clip file that FAKEWEBCAM_CLIP names: every
// frame of it once, in format ("yuyv" or "mjpeg") at size (the video's own
// when empty), to be played at the video's nominal frame rate. Returns an
// error text, empty on success.
QString makeFakeWebcamClip(const QString& video, const QString& out, const QString& format, QSize size = QSize());

// Rewrites the clip file at path so that its picture freezes after its first
// good frames: frozen more follow, each the last good frame again ("repeat"),
// random bytes ("noise") or random bytes behind a JPEG start marker
// ("jpegnoise"); the last two are an MJPEG camera's broken frames. Returns an
// error text, empty on success.
QString freezeFakeWebcamClip(const QString& path, int good, int frozen, const QString& how);

// Puts frames black frames, all the same to the byte, before the clip file's
// first: a camera that starts dark while it settles its exposure. Cut after
// them with freezeFakeWebcamClip(path, frames, 0, ...), it is a closed
// shutter. Returns an error text, empty on success.
QString darkenFakeWebcamClip(const QString& path, int frames);
