// Embedded resources, the 15-bit random generator and the single-instance lock.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "platform/os/clock.h"
#include "platform/os/instance.h"
#include "platform/os/resource.h"

TEST(Resources, FoundByNameAndTypeIgnoringCaseWithTheirExactBytes) {
    ResourceData r = FindResourceData("test_text.txt", "MISC");
    ASSERT_TRUE(r);
    ASSERT_EQ(r.size, 18u);
    EXPECT_EQ(std::memcmp(r.data, "Hello, resources.\n", 18), 0);
    EXPECT_EQ(r.data[r.size], 0);  // text resources are NUL-terminated for free
    EXPECT_FALSE(FindResourceData("TEST_TEXT.TXT", "Model"));  // the type counts too
    EXPECT_FALSE(FindResourceData("TEST_TEXT", "Misc"));
    EXPECT_FALSE(FindResourceData(nullptr, "Misc"));
}

TEST(Random, FifteenBitRangeAndReproducibleFromASeed) {
    SRand(12345);
    int first[8];
    std::set<int> seen;
    for (int& v : first) v = Rand();
    int lo = kRandMax, hi = 0;
    for (int i = 0; i < 100000; ++i) {
        int v = Rand();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, kRandMax);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        seen.insert(v);
    }
    EXPECT_LT(lo, 10);
    EXPECT_GT(hi, kRandMax - 10);
    EXPECT_GT(seen.size(), 30000u);
    SRand(12345);
    for (int v : first) EXPECT_EQ(Rand(), v);
}

TEST(SingleInstance, SecondProcessFindsTheLockTakenAndGetsItAfterRelease) {
    HANDLE mine = CreateMutexA(nullptr, FALSE, "NEREVAL_TEST_MUTEX");
    ASSERT_NE(mine, nullptr);
    auto otherProcessTries = [] {
        pid_t pid = fork();
        if (pid == 0) {
            ForgetInheritedMutexForTest();  // the parent's lock stays held
            HANDLE h = CreateMutexA(nullptr, FALSE, "NEREVAL_TEST_MUTEX");
            _exit(h ? 0 : GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 2);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WEXITSTATUS(status);
    };
    EXPECT_EQ(otherProcessTries(), 1);
    ReleaseMutex(mine);
    CloseHandle(mine);
    EXPECT_EQ(otherProcessTries(), 0);
}
