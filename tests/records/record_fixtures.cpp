#include "record_fixtures.h"

#include "common/gsm_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace vantry::test {

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vantry-records-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ScopedTimeZone::ScopedTimeZone(const char* zone)
{
    if (const char* old = std::getenv("TZ")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    ::setenv("TZ", zone, 1);
    ::tzset();
}

ScopedTimeZone::~ScopedTimeZone()
{
    if (hadPrevious_)
        ::setenv("TZ", previous_.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

const std::vector<Bytes>& H263Pictures()
{
    static const std::vector<Bytes> pictures = [] {
        std::vector<Bytes> out;
        TempFolder folder;
        const std::string file = folder / "pictures.h263";
        const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=352x288:rate=3 -frames:v 30 "
                                    "-c:v h263 -q:v 5 -g 10 -f h263 " + Quote(file);
        if (RunCommand(command) != 0) {
            ADD_FAILURE() << "ffmpeg could not make H.263 pictures";
            return out;
        }
        const Bytes stream = ReadBytes(file);
        std::vector<size_t> starts;
        for (size_t i = 0; i + 2 < stream.size(); ++i)
            if (stream[i] == 0 && stream[i + 1] == 0 && (stream[i + 2] & 0xfc) == 0x80)
                starts.push_back(i);
        for (size_t k = 0; k < starts.size(); ++k) {
            const size_t end = k + 1 < starts.size() ? starts[k + 1] : stream.size();
            out.emplace_back(stream.begin() + static_cast<long>(starts[k]), stream.begin() + static_cast<long>(end));
        }
        return out;
    }();
    return pictures;
}

std::vector<Bytes> SyntheticFrames(size_t count, size_t firstSize)
{
    std::vector<Bytes> frames;
    for (size_t i = 0; i < count; ++i) {
        Bytes frame(firstSize + i * 7 % 13); // odd and even sizes, to exercise padding
        for (size_t j = 0; j < frame.size(); ++j)
            frame[j] = static_cast<uint8_t>(0xA0 + (i + j) % 50);
        frames.push_back(std::move(frame));
    }
    return frames;
}

int WriteStationFile(const std::string& path, const StationFileSpec& spec)
{
    common::AviWriterSetup setup = common::StationAviSetup(352, 288, 3, spec.withAudio);
    setup.syncIntervalMs = spec.syncIntervalMs;
    common::AviWriter writer;
    if (writer.Open(path, setup) != 0)
        return -1;
    writer.SetKind(spec.kind);
    common::GsmEncoder encoder;
    const double seconds = std::max(1, spec.end - spec.start);
    const size_t totalSamples = static_cast<size_t>(seconds * common::kGsmSampleRate);
    size_t samplesDone = 0;
    std::vector<uint8_t> blocks;
    const size_t n = spec.frames.size();
    for (size_t i = 0; i < n; ++i) {
        const int32_t t = spec.start + static_cast<int32_t>(seconds * static_cast<double>(i) / static_cast<double>(n));
        const bool key = common::IsIntraPicture(spec.frames[i].data(), spec.frames[i].size());
        if (writer.WriteVideoFrame(spec.frames[i].data(), spec.frames[i].size(), key, t) != 0)
            return -1;
        if (spec.withAudio) {
            const size_t upTo = totalSamples * (i + 1) / n;
            std::vector<int16_t> pcm;
            for (; samplesDone < upTo; ++samplesDone)
                pcm.push_back(static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440.0 * samplesDone / common::kGsmSampleRate)));
            blocks.clear();
            encoder.Encode(pcm.data(), pcm.size(), blocks);
            if (i + 1 == n)
                encoder.Flush(blocks);
            if (!blocks.empty() && writer.WriteAudio(blocks.data(), blocks.size()) != 0)
                return -1;
        }
    }
    if (!spec.finish) {
        writer.Abandon();
        return 0;
    }
    return writer.Finish(spec.start, spec.end);
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::vector<std::string> ListFiles(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int RunCommand(const std::string& command, std::string* output)
{
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (output)
            output->append(buffer, n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

} // namespace vantry::test
