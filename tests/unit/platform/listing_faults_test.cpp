#include "platform/listing_faults.h"

#include <gtest/gtest.h>

#include <string>

#include "test_time.h"

namespace {

TEST(ListingFaultsTest, RulesAreReadByNameAndMalformedOnesChangeNothing)
{
    {
        EnvGuard off("VESK_TEST_LISTING_FAULTS", nullptr);
        EXPECT_FALSE(LoadListingFaults());
        EXPECT_EQ(nullptr, FindListingFault(L"/x/a/"));
    }
    EnvGuard on("VESK_TEST_LISTING_FAULTS",
                "a:open=21;a:read=2:5;b:entry=1:1117;c:id=-:9;d:id=7:8;e:list=x,y/,z=12;"
                "f:open=;g:read=1;:open=3;h:bogus=1;i:id=x:1");
    ASSERT_TRUE(LoadListingFaults());
    const ListingFault *a = FindListingFault(L"/x/a/");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(21u, a->OpenError);
    EXPECT_EQ(2u, a->FailAt);
    EXPECT_EQ(5u, a->ReadError);
    const ListingFault *b = FindListingFault(L"b");
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(1u, b->UnreadableAt);
    EXPECT_EQ(1117u, b->EntryError);
    const ListingFault *c = FindListingFault(L"c"), *d = FindListingFault(L"C:\\d\\");
    ASSERT_TRUE(c != nullptr && d != nullptr);
    EXPECT_TRUE(c->HasId && c->SystemVolume && c->FileId == 9);
    EXPECT_TRUE(d->HasId && !d->SystemVolume && d->Volume == 7 && d->FileId == 8);
    for (const wchar_t *name : {L"f", L"g", L"h", L"i"}) {
        const ListingFault *bad = FindListingFault(name);
        if (bad == nullptr) continue;
        EXPECT_TRUE(bad->OpenError == 0 && bad->ReadError == 0 && !bad->HasId &&
                    bad->Entries == nullptr)
            << name;
    }
    const ListingFault *e = FindListingFault(L"e");
    ASSERT_NE(nullptr, e);
    const struct {
        const wchar_t *Name;
        DWORD Attributes;
        DWORD Size;
    } listed[] = {{L"x", FILE_ATTRIBUTE_ARCHIVE, 1}, {L"y", FILE_ATTRIBUTE_DIRECTORY, 0},
                  {L"z", FILE_ATTRIBUTE_ARCHIVE, 12}};
    WIN32_FIND_DATAW data;
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(ReadFakeEntry(e, i, &data));
        EXPECT_EQ(std::wstring(listed[i].Name), data.cFileName);
        EXPECT_EQ(listed[i].Attributes, data.dwFileAttributes);
        EXPECT_EQ(listed[i].Size, data.nFileSizeLow);
    }
    EXPECT_FALSE(ReadFakeEntry(e, 3, &data));
}

}  // namespace
