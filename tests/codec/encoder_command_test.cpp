// `vxcodec encode`: its arguments and inputs are checked, failures exit 1 with a message.
#include "encoder_test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace vantry::codec {
namespace {

namespace fs = std::filesystem;

struct Result {
    int exitCode = -1;
    std::string output;
};

Result run(const std::string& arguments) {
    const std::string command = std::string("'") + VANTRY_TEST_BIN_DIR + "/vxcodec' encode " + arguments + " 2>&1";
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 512> chunk{};
    while (fgets(chunk.data(), chunk.size(), pipe))
        result.output += chunk.data();
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class EncodeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vx_encode_command_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::ofstream out(dir_ / "two.yuv", std::ios::binary);
        for (int i = 0; i < 2; ++i) {
            auto p = testing::movingScene(64, 48, i);
            out.write(reinterpret_cast<const char*>(p.bytes.data()), static_cast<std::streamsize>(p.bytes.size()));
        }
        out.write("xyz", 3);  // an incomplete third frame
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const char* name) const { return "'" + (dir_ / name).string() + "'"; }
    fs::path dir_;
};

TEST_F(EncodeCommand, RefusesBadArgumentsWithAMessage) {
    struct Case {
        std::string arguments;
        const char* message;
    };
    const std::string files = path("two.yuv") + " " + path("out.h263");
    for (const Case& c : {Case{files, "--size is required"}, Case{"--size 64x48 " + path("two.yuv"), "expected IN.yuv and OUT.h263"},
                          Case{"--size 60x48 " + files, "multiples of 16"}, Case{"--size 64 " + files, "--size needs WxH"},
                          Case{"--size 4096x48 " + files, "at most 2048x2032"}, Case{"--size 64x48 --qp 0 " + files, "--qp"},
                          Case{"--size 64x48 --qp 32 " + files, "--qp"}, Case{"--size 64x48 --search 3 " + files, "--search"},
                          Case{"--size 64x48 --gop -1 " + files, "--gop"}, Case{"--size 64x48 --frames x " + files, "--frames"},
                          Case{"--size 64x48 --bogus " + files, "unknown option --bogus"},
                          Case{"--size 64x48 " + path("missing.yuv") + " " + path("out.h263"), "cannot open"},
                          Case{"--size 64x48 " + path("two.yuv") + " '/nonexistent-dir/out.h263'", "cannot create"}}) {
        const Result r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 1) << c.arguments;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.arguments << "\n" << r.output;
    }
}

TEST_F(EncodeCommand, EncodesCompleteFramesAndReportsATruncatedOne) {
    // Two complete frames are encoded; the incomplete third one is reported as an error.
    Result r = run("--size 64x48 --recon " + path("recon.yuv") + " " + path("two.yuv") + " " + path("out.h263"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("ends inside frame 2"), std::string::npos) << r.output;
    EXPECT_EQ(fs::file_size(dir_ / "recon.yuv"), 2u * 64 * 48 * 3 / 2);

    r = run("--size 64x48 --frames 2 --qp 3 --gop 2 --search 2 --recon " + path("recon.yuv") + " " + path("two.yuv") + " " +
            path("out.h263"));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_GT(fs::file_size(dir_ / "out.h263"), 0u);
    EXPECT_EQ(fs::file_size(dir_ / "recon.yuv"), 2u * 64 * 48 * 3 / 2);

    std::ofstream(dir_ / "empty.yuv").close();
    r = run("--size 64x48 " + path("empty.yuv") + " " + path("out.h263"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("no complete 64x48 frame"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace vantry::codec
