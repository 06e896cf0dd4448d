// vyrecords list FOLDER | rebuild FOLDER | info FILE.avi | repair FILE.avi
#include "common/avi_format.h"
#include "common/avi_reader.h"
#include "common/record_index.h"
#include "common/record_info.h"
#include "common/record_repair.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

using namespace vantry::common;

namespace {

std::string LocalText(int32_t t)
{
    const time_t value = t;
    struct tm local {};
    char text[32] = "?";
    if (localtime_r(&value, &local) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

int Usage()
{
    std::fprintf(stderr, "usage: vyrecords list FOLDER\n"
                         "       vyrecords rebuild FOLDER\n"
                         "       vyrecords info FILE.avi\n"
                         "       vyrecords repair FILE.avi\n");
    return 1;
}

int List(const std::string& folder)
{
    RecordIndex index;
    index.SetStorageFolder(folder);
    if (!index.Load()) {
        std::fprintf(stderr, "vyrecords: cannot read the record index %s (run: vyrecords rebuild %s)\n",
                     index.IndexPath().c_str(), folder.c_str());
        return 1;
    }
    for (const IndexRecord& r : index.Records())
        std::printf("%s  %s  %-6s  %12" PRIu64 "  %s\n", LocalText(r.start).c_str(), LocalText(r.end).c_str(),
                    r.kind == 1 ? "event" : "normal", r.size, r.path.c_str());
    return 0;
}

int Rebuild(const std::string& folder)
{
    RecordIndex index;
    index.SetStorageFolder(folder);
    if (!index.Rebuild()) {
        std::fprintf(stderr, "vyrecords: cannot read the folder %s\n", folder.c_str());
        return 1;
    }
    if (!index.Save()) {
        std::fprintf(stderr, "vyrecords: cannot write the record index %s\n", index.IndexPath().c_str());
        return 1;
    }
    const FolderScanStats& scan = index.LastScan();
    std::printf("%zu records indexed (%zu repaired, %zu deleted, %zu skipped), %" PRIu64 " bytes\n", index.RecordCount(),
                scan.repaired, scan.deleted, scan.skipped, index.TotalBytes());
    return 0;
}

int Info(const std::string& path)
{
    AviFileInfo info;
    if (ReadAviFile(path, info) != 0) {
        std::fprintf(stderr, "vyrecords: %s is not a readable AVI file\n", path.c_str());
        return 1;
    }
    std::printf("file: %s (%" PRIu64 " bytes, %s)\n", path.c_str(), info.fileSize,
                info.state == AviState::Finished ? "finished" : "unfinished: run vyrecords repair");
    std::printf("frames: %u, %u microseconds per frame, duration %.3f s, %ux%u\n", info.FrameCount(),
                info.mainHeader.microSecPerFrame, info.DurationSeconds(), info.mainHeader.width, info.mainHeader.height);
    for (size_t i = 0; i < info.streams.size(); ++i) {
        const AviStreamHeader& h = info.streams[i].header;
        const std::vector<uint8_t>& format = info.streams[i].format;
        std::string detail;
        if (h.type == fourcc::kVids && format.size() >= BitmapInfoHeader::kSize)
            detail = "format " + FourccText(BitmapInfoHeader::Parse(format.data()).compression);
        else if (h.type == fourcc::kAuds && format.size() >= 2) {
            char tag[16];
            std::snprintf(tag, sizeof tag, "0x%04x", GetLe16(format.data()));
            detail = std::string("format tag ") + tag;
        }
        std::printf("stream %zu: %s handler %s, %s, rate %u / scale %u, length %u\n", i, FourccText(h.type).c_str(),
                    FourccText(h.handler).c_str(), detail.c_str(), h.rate, h.scale, h.length);
    }
    if (!info.hasRecordInfo) {
        std::printf("record information: none\n");
        return 0;
    }
    const RecordInfo& r = info.recordInfo;
    std::printf("record: %s - %s, camera %u \"%s\", site \"%s\", %zu motion periods\n", LocalText(r.start).c_str(),
                LocalText(r.end).c_str(), r.cameraIndex + 1, r.cameraName.c_str(), r.siteName.c_str(), r.periods.size());
    for (const MotionPeriod& p : r.periods)
        std::printf("  motion %s - %s\n", LocalText(p.start).c_str(), LocalText(p.end).c_str());
    return 0;
}

int Repair(const std::string& path)
{
    RepairOptions options;
    options.deleteWithoutFrames = false; // asked by hand: report, never delete
    const RepairOutcome out = RepairRecord(path, options);
    switch (out.result) {
    case RepairResult::Repaired:
        std::printf("repaired: %u frames, %s - %s -> %s\n", out.videoFrames, LocalText(out.start).c_str(),
                    LocalText(out.end).c_str(), out.path.c_str());
        return 0;
    case RepairResult::AlreadyFinished:
        std::printf("nothing to repair: %s\n", out.path.c_str());
        return 0;
    case RepairResult::Failed:
        std::fprintf(stderr, "vyrecords: cannot repair %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    default:
        std::fprintf(stderr, "vyrecords: %s: %s\n", path.c_str(), RepairResultText(out.result));
        return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return Usage();
    const std::string command = argv[1];
    const std::string argument = argv[2];
    if (command == "list")
        return List(argument);
    if (command == "rebuild")
        return Rebuild(argument);
    if (command == "info")
        return Info(argument);
    if (command == "repair")
        return Repair(argument);
    return Usage();
}
