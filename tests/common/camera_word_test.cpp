#include "common/camera_word.h"

#include <gtest/gtest.h>

namespace vantry::common {
namespace {

TEST(CameraWord, PacksAndUnpacks)
{
    struct Row {
        int camera;
        uint16_t value;
        uint32_t word;
    };
    const Row rows[] = {
        {0, 0, 0x00010000u}, {3, 1, 0x00040001u}, {kSelectedCamera, 7, 0x00000007u}, {1, 0xFFFF, 0x0002FFFFu},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(makeCameraWord(row.camera, row.value), row.word);
        EXPECT_EQ(cameraIndexOf(row.word), row.camera);
        EXPECT_EQ(cameraValueOf(row.word), row.value);
    }
    static_assert(resolveCamera(0x0000FFFFu, 2) == 2, "high half 0 is the selected camera");
    static_assert(resolveCamera(0x00030000u, 2) == 2 && resolveCamera(0x00010000u, 2) == 0);
    // 33783 with 5 in the high half names camera index 4: not a station camera.
    EXPECT_FALSE(isStationCamera(cameraIndexOf(0x00050000u)));
    EXPECT_TRUE(isStationCamera(cameraIndexOf(0x00040000u)));
}

TEST(CameraWord, ServerWords)
{
    EXPECT_EQ(serverWordCamera(makeServerWord(3, 9)), 3);
    EXPECT_EQ(serverWordCamera(0x0003FFFFu), 3);
    EXPECT_EQ(serverWordCamera(0x00040000u), -1) << "camera index 4 is ignored";
    EXPECT_EQ(serverWordCamera(0xFFFFFFFFu), -1);
    EXPECT_EQ(makeStationCameraParam(2), 0x00020000u);
    EXPECT_EQ(stationCameraParamCamera(0x00020000u), 2);
}

} // namespace
} // namespace vantry::common
