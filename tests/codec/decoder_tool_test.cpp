// The vxcodec tool: listing, decoding and its answers to bad input.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "vx_test_stream.h"

namespace fs = std::filesystem;
using namespace vantry::codec;
using vantry::codec::test::TestPicture;

namespace {

struct Result {
    int exitCode = -1;
    std::string output;
};

Result runTool(const std::string& arguments, const fs::path& dir)
{
    const fs::path out = dir / "stdout.txt";
    const std::string command = std::string(VANTRY_TEST_BIN_DIR) + "/vxcodec " + arguments + " > '" + out.string() +
                                "' 2> '" + (dir / "stderr.txt").string() + "'";
    const int status = std::system(command.c_str());
    Result r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(out);
    r.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
}

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

class ToolTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "vxcodec-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Two pictures: an I-picture and a P-picture of 32x16 with custom size.
    std::vector<uint8_t> twoPictures()
    {
        TestPicture intra(32, 16, PictureType::Intra, 9);
        intra.intra(false, 0, 0, {200, 200, 200, 200, 90, 60});
        intra.intra(false, 0, 0, {255, 255, 255, 255, 255, 255});
        TestPicture inter(32, 16, PictureType::Inter, 12);
        inter.notCoded();
        inter.notCoded();
        auto bytes = intra.finish();
        const auto second = inter.finish();
        firstLength = bytes.size();
        bytes.insert(bytes.end(), second.begin(), second.end());
        return bytes;
    }

    fs::path dir;
    size_t firstLength = 0;
};

} // namespace

TEST_F(ToolTest, InfoListsEveryPicture)
{
    const auto bytes = twoPictures();
    writeFile(dir / "in.h263", bytes);
    const Result r = runTool("info '" + (dir / "in.h263").string() + "'", dir);
    EXPECT_EQ(r.exitCode, 0);
    std::ostringstream expected;
    expected << "0 I 32 16 9 " << firstLength << "\n1 P 32 16 12 " << bytes.size() - firstLength << "\n";
    EXPECT_EQ(r.output, expected.str());
}

TEST_F(ToolTest, DecodeWritesI420Frames)
{
    writeFile(dir / "in.h263", twoPictures());
    const fs::path out = dir / "out.yuv";
    EXPECT_EQ(runTool("decode '" + (dir / "in.h263").string() + "' '" + out.string() + "'", dir).exitCode, 0);
    std::ifstream in(out, std::ios::binary);
    const std::vector<uint8_t> yuv((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(yuv.size(), 2u * 32 * 16 * 3 / 2);
    EXPECT_EQ(yuv[0], 200);
    EXPECT_EQ(yuv[31], 128);
    EXPECT_EQ(yuv[512], 90);         // first U sample
    EXPECT_EQ(yuv[512 + 128], 60);   // first V sample
    EXPECT_TRUE(std::equal(yuv.begin(), yuv.begin() + 768, yuv.begin() + 768)); // P repeats I
}

TEST_F(ToolTest, BadInputFailsWithAMessageAndNeverCrashes)
{
    std::mt19937 rng(1234);
    std::vector<uint8_t> noise(5000);
    for (auto& b : noise)
        b = static_cast<uint8_t>(rng());
    auto damaged = twoPictures();
    damaged[firstLength + 3] |= 0x01; // second picture: PTYPE bit 2 set
    damaged.insert(damaged.begin(), {1, 2, 3});
    struct Case {
        const char* name;
        std::string arguments;
        std::vector<uint8_t> input;
        int exitCode;
    };
    const Case cases[] = {
        {"no arguments", "", {}, 1},
        {"unknown command", "transcode x y", {}, 1},
        {"missing file", "decode '" + (dir / "absent").string() + "' '" + (dir / "o").string() + "'", {}, 1},
        {"noise", "decode IN '" + (dir / "o").string() + "'", noise, 1},
        {"empty", "info IN", {}, 1},
        {"damaged second picture", "decode IN '" + (dir / "o").string() + "'", damaged, 1},
        {"encode stub", "encode a b", {}, 1},
    };
    for (const Case& c : cases) {
        std::string arguments = c.arguments;
        const auto at = arguments.find("IN");
        if (at != std::string::npos) {
            writeFile(dir / "in.h263", c.input);
            arguments.replace(at, 2, "'" + (dir / "in.h263").string() + "'");
        }
        const Result r = runTool(arguments, dir);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name;
        std::ifstream err(dir / "stderr.txt");
        const std::string message((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
        EXPECT_FALSE(message.empty()) << c.name;
    }
}
