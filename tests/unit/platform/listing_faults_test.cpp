#include "platform/listing_faults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "listing_switch.h"

namespace {

TEST(ListingFaultsTest, RulesAreReadByName)
{
    {
        ListingSwitch off("VESK_TEST_LISTING_FAULTS", nullptr);
        EXPECT_EQ(&SystemListingCalls, ListingCallsInUse);
        EXPECT_EQ(nullptr, FindListingFault(L"/x/a/"));
    }
    ListingSwitch on("VESK_TEST_LISTING_FAULTS",
                     "a:open=21;a:read=2:5;b:entry=1:1117;c:id=-:9;d:id=7:8;e:list=x,y/,z=12;");
    EXPECT_NE(&SystemListingCalls, ListingCallsInUse);
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
    // A listed directory need not exist: its entries come through the listing as any.
    DirectoryListing *listing = OpenDirectoryListing(L"/no/such/e/");
    ASSERT_NE(nullptr, listing);
    const struct {
        const wchar_t *Name;
        DWORD Attributes;
        DWORD Size;
    } listed[] = {{L"x", FILE_ATTRIBUTE_ARCHIVE, 1}, {L"y", FILE_ATTRIBUTE_DIRECTORY, 0},
                  {L"z", FILE_ATTRIBUTE_ARCHIVE, 12}};
    WIN32_FIND_DATAW data;
    FileId id;
    for (const auto &entry : listed) {
        ASSERT_EQ(LISTING_ENTRY, ReadListingEntry(listing, &data, &id));
        EXPECT_EQ(std::wstring(entry.Name), data.cFileName);
        EXPECT_EQ(entry.Attributes, data.dwFileAttributes);
        EXPECT_EQ(entry.Size, data.nFileSizeLow);
    }
    EXPECT_EQ(LISTING_END, ReadListingEntry(listing, &data, &id));
    CloseDirectoryListing(listing);
}

TEST(ListingFaultsTest, AMalformedRuleFailsLoudly)
{
    for (const char *rules : {"f:open=", "g:read=1", ":open=3", "h:bogus=1", "i:id=x:1", "j"}) {
        testing::internal::CaptureStderr();
        ListingSwitch bad("VESK_TEST_LISTING_FAULTS", rules);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(std::string::npos, said.find("malformed rule")) << rules;
        // Every listing fails, so that no test passes on rules that did nothing.
        EXPECT_EQ(nullptr, OpenDirectoryListing(L"/")) << rules;
        EXPECT_EQ((DWORD)ERROR_BAD_ARGUMENTS, GetLastError()) << rules;
    }
}

}  // namespace
