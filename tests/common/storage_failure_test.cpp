// The data folder on storage that refuses writes: a read-only file system and a full disk.
// Every writer must answer with a clear error, leave what was on disk as it was, and go on.
#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include "common/event_log.h"
#include "common/folder_prep.h"
#include "common/station_settings.h"
#include "common/text_log.h"
#include "test_support.h"

namespace vantry::common {
namespace {

using test::NamedCheck;
using test::TempFolder;

bool contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

// Runs the checks in a child on a private tmpfs at the folder; fails the test with the name of
// the first failing check, or skips when the system does not allow the mount.
void expectOnTmpfs(const std::string& folder, const std::string& options, const std::function<std::vector<NamedCheck>()>& make)
{
    std::vector<std::string> names;
    for (const NamedCheck& check : make())
        names.emplace_back(check.name);
    const int result = test::runOnTmpfs(folder, options, [&] { return test::firstFailing(make()); });
    if (result == test::kCannotSetUp)
        GTEST_SKIP() << "needs root and mount namespaces";
    ASSERT_GE(result, 0) << "child died";
    EXPECT_EQ(result, 0) << "failed check: " << (result > 0 ? names[static_cast<std::size_t>(result - 1)] : "");
}

TEST(StorageFailure, ReadOnlyDataFolder)
{
    TempFolder dir;
    const std::string data = dir.path();
    const std::string ini = data + "/vantry.ini";
    // Shared by the checks, which run in order inside the child.
    auto settings = std::make_shared<StationSettings>();
    auto log = std::make_shared<EventLog>();
    auto textLog = std::make_shared<TextLog>();
    auto before = std::make_shared<std::string>();
    auto lines = std::make_shared<std::vector<std::string>>();
    expectOnTmpfs(data, "size=1m", [=] {
        return std::vector<NamedCheck>{
            {"prepare while writable", [=] { return prepareFolder(data) && prepareFolder(data + "/records"); }},
            {"settings load", [=] { return settings->Load(ini) && settings->Save(); }},
            {"log open", [=] { return log->Open(ini, data) && log->AddEntry(LogEntryType::Operation, -1, "a") == 1; }},
            {"text log open", [=] { return textLog->Open(data + "/vantry.log") && textLog->Write("ok"); }},
            {"remount read-only", [=] {
                 *before = test::readFile(ini) + test::readFile(data + "/Log.Dat");
                 log->setDiagnosticSink([=](std::string_view t) { lines->emplace_back(t); });
                 settings->setDiagnosticSink([=](std::string_view t) { lines->emplace_back(t); });
                 return test::remountReadOnly(data);
             }},
            {"settings save refused", [=] { return !settings->Save() && contains(settings->LastError(), "Read-only file system"); }},
            {"preference refused", [=] { return !settings->WritePreference("MainWndClassName04", "VYWatch"); }},
            {"log add refused", [=] {
                 return log->AddEntry(LogEntryType::Operation, -1, "b") == 0 &&
                        contains(log->LastError(), "Read-only file system");
             }},
            {"log still readable", [=] { return log->CountEntries() == 1; }},
            {"log resize refused", [=] { return !log->Resize(100, 200) && log->capacity() == 100; }},
            {"log settings refused", [=] { return !log->SaveSettings(ini); }},
            {"text log refused", [=] { return !textLog->Write("lost") && !textLog->LastError().empty(); }},
            {"folder refused", [=] {
                 std::string error;
                 return !prepareFolder(data + "/records", &error) && contains(error, "cannot write in folder") &&
                        !prepareFolder(data + "/mail", &error) && contains(error, "Read-only file system");
             }},
            {"errors reached the text log sink", [=] { return lines->size() >= 4; }},
            {"files unchanged", [=] { return test::readFile(ini) + test::readFile(data + "/Log.Dat") == *before; }},
        };
    });
}

TEST(StorageFailure, FullDisk)
{
    TempFolder dir;
    const std::string data = dir.path();
    const std::string ini = data + "/vantry.ini";
    auto settings = std::make_shared<StationSettings>();
    auto log = std::make_shared<EventLog>();
    auto before = std::make_shared<std::string>();
    expectOnTmpfs(data, "size=256k", [=] {
        return std::vector<NamedCheck>{
            {"settings saved", [=] { return settings->Load(ini) && settings->Save(); }},
            {"log created", [=] { return log->Open(ini, data) && log->AddEntry(LogEntryType::Operation, -1, "a") == 1; }},
            {"fill the disk", [=] {
                 *before = test::readFile(ini);
                 std::string chunk(4096, 'x');
                 FILE* filler = std::fopen((data + "/filler").c_str(), "wb");
                 if (!filler)
                     return false;
                 while (std::fwrite(chunk.data(), 1, chunk.size(), filler) == chunk.size()) {
                 }
                 std::fclose(filler);
                 struct statvfs info {};
                 return ::statvfs(data.c_str(), &info) == 0 && info.f_bavail == 0;
             }},
            {"settings save refused", [=] {
                 settings->channels[0].cameraName = std::string(200, 'n');
                 return !settings->Save() && contains(settings->LastError(), "No space left on device");
             }},
            {"log resize refused", [=] { return !log->Resize(100, 1000) && log->capacity() == 100; }},
            {"log entries still go into the existing ring", [=] {
                 return log->AddEntry(LogEntryType::Operation, -1, "b") == 1 && log->CountEntries() == 2;
             }},
            {"settings file intact", [=] { return !before->empty() && test::readFile(ini) == *before; }},
            {"no temporary files", [=] {
                 const auto names = test::folderEntries(data);
                 return names.size() == 3; // vantry.ini, Log.Dat, filler
             }},
        };
    });
}

} // namespace
} // namespace vantry::common
