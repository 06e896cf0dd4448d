// Fixtures for the record tests: temporary folders, H.263 pictures made by Debian's ffmpeg
// (VX01 is a strict subset, so they stand in for our encoder's output), a tone as GSM audio,
// record files written the station's and the viewer's way, and running reference tools.
#pragma once

#include "common/avi_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantry::test {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Pins the local time zone for the test's duration.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();

private:
    std::string previous_;
    bool hadPrevious_ = false;
};

using Bytes = std::vector<uint8_t>;

// 30 H.263 pictures, 352x288, an intra picture every 10; made once per process.
const std::vector<Bytes>& H263Pictures();
// Small stand-in frames (not decodable) for tests that only count bytes.
std::vector<Bytes> SyntheticFrames(size_t count, size_t firstSize);

struct StationFileSpec {
    std::vector<Bytes> frames;
    int32_t start = 0;
    int32_t end = 0;
    bool withAudio = false;
    int syncIntervalMs = 2000;
    bool finish = true; // false leaves the file as a crash would
    uint32_t kind = 0;
};
// Writes frames spread evenly over start..end (audio: a 440 Hz tone of the same length).
// Returns the writer's result (0 / -1).
int WriteStationFile(const std::string& path, const StationFileSpec& spec);

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
bool FileExists(const std::string& path);
std::vector<std::string> ListFiles(const std::string& folder); // names, sorted

// Runs a command line through the shell; returns its exit status and standard output.
int RunCommand(const std::string& command, std::string* output = nullptr);
std::string Quote(const std::string& text);

} // namespace vantry::test
