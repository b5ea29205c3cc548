// SPDX-License-Identifier: MIT
// A session's close() is called where nothing may throw (destructors, the
// bus release): a failure there, even running out of memory, is kept for the
// next open() instead of ending the program. Allocation failure is staged by
// replacing the global operator new in this test program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "EngineFixture.h"
#include "PortSession.h"
#include "ee24c.h"

namespace {
bool g_failNextAllocation = false;
}  // namespace

void* operator new(std::size_t size)
{
    if (g_failNextAllocation) {
        g_failNextAllocation = false;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

namespace kavoda {
namespace {

using CloseFailureTest = test::EngineTest;

TEST_F(CloseFailureTest, FailedTraceFlushIsKeptForTheNextOpen)
{
    PortOptions options;
    options.simulateType = 1;
    options.tracePath = "/dev/full";  // every write-out fails
    PortSession session(options);
    session.open(0x378);
    // Clock edges and no STOP: the trace holds them until close() writes
    // them out, and composing that failure's message is what runs out.
    for (int i = 0; i < 4; ++i)
        BytePort.Port[0x378] = static_cast<std::uint8_t>(i & 1);
    g_failNextAllocation = true;
    EXPECT_NO_THROW(session.close());
    g_failNextAllocation = false;
    EXPECT_FALSE(session.isOpen());
    EXPECT_EQ(installedPortBackend(), nullptr);

    EXPECT_THROW(session.open(0x378), std::bad_alloc) << "reported, not lost";
    EXPECT_THROW(session.open(0x378), PortError) << "then the trace's own failure";
    EXPECT_EQ(installedPortBackend(), nullptr);
}

TEST_F(CloseFailureTest, ReleasingDestructorsSurviveIt)
{
    PortOptions options;
    options.simulateType = 1;
    options.tracePath = "/dev/full";
    {
        PortSession session(options);
        session.open(0x378);
        for (int i = 0; i < 4; ++i)
            BytePort.Port[0x378] = static_cast<std::uint8_t>(i & 1);
        g_failNextAllocation = true;
    }  // without the catch, std::terminate
    g_failNextAllocation = false;
    EXPECT_EQ(installedPortBackend(), nullptr);
}

}  // namespace
}  // namespace kavoda
