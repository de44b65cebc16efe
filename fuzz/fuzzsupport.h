#ifndef FUZZ_FUZZSUPPORT_H
#define FUZZ_FUZZSUPPORT_H

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What every fuzz target sets up once: an application object (the history store asks it for the executable's
// directory) and a working directory of its own, where the log and any input files go.
namespace fuzzing {

// Creates the application object and changes into a fresh temporary directory, removed at exit. Takes
// LLVMFuzzerInitialize's arguments: libFuzzer reads its inputs, dictionaries and artifact paths only after that
// call, so relative ones among them are made absolute first.
void start(int* argc, char*** argv);

// The fuzz input, unchanged, as a file in the working directory; returns its path (UTF-8).
QByteArray writeInput(const char* fileName, const std::uint8_t* data, std::size_t size);

// Stops the process with a message when a property that must hold for every input does not.
void require(bool condition, const char* what);

} // namespace fuzzing

#endif // FUZZ_FUZZSUPPORT_H
