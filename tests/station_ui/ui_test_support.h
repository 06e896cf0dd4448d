// Shared pieces of the station window tests: a QApplication on the offscreen platform, a
// prompter that records what the station shows and answers as told, private folders, and a
// hub with or without the demo cameras.
#pragma once

#include "test_support/private_folders.h"

#include "station/core/capture_device.h"
#include "station/core/demo_devices.h"
#include "station/core/station_hub.h"
#include "station/ui/prompter.h"
#include "station/ui/skin.h"

#include <QApplication>
#include <QString>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vantry::station::ui::test {

struct Shown {
    int id = 0;
    QString text;
};

// Records every message box; questions take the next queued answer (no when none is left).
class RecordingPrompter final : public Prompter {
public:
    void inform(QWidget*, int id, const QString& text) override { shown.push_back({ id, text }); }
    bool ask(QWidget*, int id, const QString& text) override
    {
        asked.push_back({ id, text });
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::vector<Shown> shown;
    std::vector<Shown> asked;
    std::deque<bool> answers;
};

inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

using vantry::test::PrivateFolders;

class NoDevices final : public DeviceProvider {
public:
    std::vector<CaptureDevice> devices(DeviceKind) const override { return {}; }
    GstElement* createSource(const CaptureDevice&) override { return nullptr; }
};

class DemoProvider final : public DeviceProvider {
public:
    std::vector<CaptureDevice> devices(DeviceKind kind) const override { return demoDevices(kind); }
    GstElement* createSource(const CaptureDevice& device) override { return createDemoSource(device); }
    std::vector<std::pair<int, int>> pictureSizes(const CaptureDevice&) const override { return demoPictureSizes(); }
};

// The skin the build drew beside the programs.
inline const Skin& builtSkin()
{
    static Skin skin;
    static bool loaded = false;
    if (!loaded) {
        QString error;
        loaded = skin.load(QStringLiteral(VANTRY_TEST_BIN_DIR "/ui_s"), &error);
        EXPECT_TRUE(loaded) << error.toStdString();
    }
    return skin;
}

// Every non-empty text of a Log.Dat, in slot order.
inline std::vector<std::string> logTexts(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> texts;
    for (size_t offset = 4; offset + 272 <= bytes.size(); offset += 272) {
        uint32_t time = 0;
        std::memcpy(&time, bytes.data() + offset, 4);
        if (time != 0)
            texts.emplace_back(bytes.data() + offset + 12, ::strnlen(bytes.data() + offset + 12, 260));
    }
    return texts;
}

} // namespace vantry::station::ui::test
