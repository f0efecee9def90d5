#include "plugin/host_api.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

constexpr size_t Ptr = sizeof(const wchar_t *);

static_assert(offsetof(PluginInfo, Name) == 0 * Ptr, "Name");
static_assert(offsetof(PluginInfo, Author) == 1 * Ptr, "Author");
static_assert(offsetof(PluginInfo, Email) == 2 * Ptr, "Email");
static_assert(offsetof(PluginInfo, WebPage) == 3 * Ptr, "WebPage");
static_assert(offsetof(PluginInfo, Description) == 4 * Ptr, "Description");
static_assert(offsetof(PluginInfo, Implements) == 5 * Ptr, "Implements");
static_assert(offsetof(PluginInfo, Major) == 6 * Ptr, "Major");
static_assert(offsetof(PluginInfo, Minor) == 6 * Ptr + sizeof(int), "Minor");
static_assert(offsetof(PluginInfo, Build) == 6 * Ptr + 2 * sizeof(int), "Build");
static_assert(sizeof(int) == 4, "int is 32 bits");

TEST(HostApiLayoutTest, BuffersHaveTheShellsSizes)
{
    EXPECT_EQ(8192, HOST_BUFFER_LEN);
    EXPECT_EQ(1024, HOST_USAGE_LEN);
    EXPECT_EQ(16384, HOST_RESULT_LEN);
}

} // namespace
