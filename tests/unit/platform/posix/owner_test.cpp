// The file owner stand-ins on Linux.
#include "platform/platform.h"
#include "text/native_text.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::wstring Wide(const std::string &bytes)
{
    wchar_t buf[4096];
    NativeToWide(bytes.data(), bytes.size(), buf, 4096);
    return buf;
}

class PlatformOwner : public ::testing::Test {
protected:
    std::string Path;
    void SetUp() override
    {
        char tmpl[] = "/tmp/vesk_owner_XXXXXX";
        int fd = mkstemp(tmpl);
        ASSERT_GE(fd, 0);
        close(fd);
        Path = tmpl;
    }
    void TearDown() override { unlink(Path.c_str()); }

    // The owner text as the plug-in builds it: domain, backslash, account.
    static std::wstring Owner(const std::wstring &path)
    {
        DWORD need = 0;
        if (GetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION, nullptr, 0, &need) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER || need == 0)
            return L"<no size>";
        void *sd = malloc(need);
        PSID sid = nullptr;
        BOOL defaulted = TRUE;
        wchar_t name[256], domain[256];
        DWORD nameLen = 256, domainLen = 256;
        SID_NAME_USE use = 0;
        bool ok = GetFileSecurityW(path.c_str(), OWNER_SECURITY_INFORMATION, sd, need, &need) &&
                  GetSecurityDescriptorOwner(sd, &sid, &defaulted) &&
                  LookupAccountSidW(nullptr, sid, name, &nameLen, domain, &domainLen, &use);
        free(sd);
        if (!ok) return L"<failed>";
        EXPECT_EQ(nameLen, wcslen(name));
        EXPECT_EQ(domainLen, wcslen(domain));
        EXPECT_FALSE(defaulted);
        return std::wstring(domain) + L"\\" + name;
    }

    static std::wstring Machine()
    {
        char host[256] = "";
        gethostname(host, sizeof host);
        std::string h = host;
        h = h.substr(0, h.find('.'));
        for (char &c : h)
            if (c >= 'a' && c <= 'z') c = (char)(c - 32);
        return Wide(h);
    }
};

TEST_F(PlatformOwner, FileCreatedHereBelongsToTheCurrentUser)
{
    struct passwd *pw = getpwuid(geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(Owner(Wide(Path)), Machine() + L"\\" + Wide(pw->pw_name));
}

TEST_F(PlatformOwner, UnknownUidFailsTheLookupAsWindowsDoes)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
    const uid_t uid = 54321;
    if (getpwuid(uid)) GTEST_SKIP() << "uid 54321 has an entry here";
    ASSERT_EQ(chown(Path.c_str(), uid, (gid_t)-1), 0);
    EXPECT_EQ(Owner(Wide(Path)), L"<failed>");
    EXPECT_EQ(GetLastError(), 1332u);  // ERROR_NONE_MAPPED
}

TEST_F(PlatformOwner, MissingFileReportsNoSize)
{
    DWORD need = 99;
    EXPECT_FALSE(GetFileSecurityW(Wide(Path + ".missing").c_str(), OWNER_SECURITY_INFORMATION,
                                  nullptr, 0, &need));
    EXPECT_EQ(need, 0u);
    EXPECT_FALSE(GetFileSecurityW(L"", OWNER_SECURITY_INFORMATION, nullptr, 0, &need));
    EXPECT_EQ(need, 0u);
}

TEST_F(PlatformOwner, SmallAccountBuffersReportTheSizesNeeded)
{
    DWORD need = 0;
    GetFileSecurityW(Wide(Path).c_str(), OWNER_SECURITY_INFORMATION, nullptr, 0, &need);
    ASSERT_GT(need, 0u);
    void *sd = malloc(need);
    ASSERT_TRUE(GetFileSecurityW(Wide(Path).c_str(), OWNER_SECURITY_INFORMATION, sd, need, &need));
    PSID sid;
    ASSERT_TRUE(GetSecurityDescriptorOwner(sd, &sid, nullptr));
    wchar_t name[2] = L"#", domain[2] = L"#";
    DWORD nameLen = 1, domainLen = 1;
    SID_NAME_USE use;
    EXPECT_FALSE(LookupAccountSidW(nullptr, sid, name, &nameLen, domain, &domainLen, &use));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    struct passwd *pw = getpwuid(geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(nameLen, Wide(pw->pw_name).size() + 1);
    EXPECT_EQ(domainLen, Machine().size() + 1);
    EXPECT_EQ(name[0], L'#');
    free(sd);
    // A block that is no security descriptor is refused.
    uint32_t junk[4] = {1, 2, 3, 4};
    EXPECT_FALSE(GetSecurityDescriptorOwner(junk, &sid, nullptr));
}

}  // namespace
