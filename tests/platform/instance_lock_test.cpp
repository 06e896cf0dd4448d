#include "platform/instance_lock.h"
#include "platform/program_launcher.h"
#include "test_support.h"

namespace vantry::platform {
namespace {

using test::Child;
using test::waitUntil;

using InstanceLockTest = test::PlatformTest;

TEST_F(InstanceLockTest, ASecondHolderFailsUntilTheFirstDies)
{
    const std::string ready = (root() / "holding").string();
    Child holder({"hold-instance", "vantry", ready});
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(ready); }));

    InstanceLockFailure failure = InstanceLockFailure::Unavailable;
    EXPECT_FALSE(InstanceLock::acquire("vantry", &failure));
    EXPECT_EQ(failure, InstanceLockFailure::HeldElsewhere);
    EXPECT_EQ(Child({"hold-instance", "vantry", ready + "2"}).wait(), 3);
    EXPECT_TRUE(InstanceLock::acquire("vyremote")) << "other names are independent";

    holder.killHard();
    auto lock = InstanceLock::acquire("vantry");
    ASSERT_TRUE(lock);
    // Within one process too, the lock is taken once.
    EXPECT_FALSE(InstanceLock::acquire("vantry", &failure));
    EXPECT_EQ(failure, InstanceLockFailure::HeldElsewhere);
}

TEST_F(InstanceLockTest, ProgramsStartedByTheHolderDoNotKeepTheLock)
{
    auto lock = InstanceLock::acquire("vantry");
    ASSERT_TRUE(lock);
    pid_t sleeper = -1;
    ASSERT_TRUE(startProgram("sleep", {"30"}, ShowMode::Hidden, {}, &sleeper));
    lock.reset();
    // The child drops its copy of the descriptor while it executes, a moment after the
    // spawn returns; the lock must be free well before the child ends.
    EXPECT_TRUE(waitUntil([] { return InstanceLock::acquire("vantry") != nullptr; }, 2000))
        << "the started program inherited the lock";
    ::kill(sleeper, SIGKILL);
}

TEST_F(InstanceLockTest, RefusesBadNames)
{
    InstanceLockFailure failure = InstanceLockFailure::HeldElsewhere;
    EXPECT_FALSE(InstanceLock::acquire("../vantry", &failure));
    EXPECT_EQ(failure, InstanceLockFailure::Unavailable);
    EXPECT_FALSE(InstanceLock::acquire("", &failure));
}

} // namespace
} // namespace vantry::platform
