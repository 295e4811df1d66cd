#pragma once
// Points the standard error stream object into "stderr.log" and back.
// Only what is written through std::cerr lands in the file; the process's
// error descriptor itself is left alone.

#include <fstream>
#include <string>

namespace errorlog {

// Opens the file for output, emptying it, and makes std::cerr write into it.
void redirect(std::fstream& stream, const std::string& path);

// Gives std::cerr its own buffer back, then flushes and closes the stream.
// Returns false (and marks the stream failed) when flushing or closing fails.
bool restoreAndClose(std::fstream& stream);

}  // namespace errorlog
