// A test switch of the listing's double (src/platform/listing_faults.h) set for one
// scope: the listing's calls are chosen again, as at load, when it is set and when the
// variable is back as it was.
#ifndef VESK_TEST_LISTING_SWITCH_H
#define VESK_TEST_LISTING_SWITCH_H

#include <memory>

#include "platform/listing_calls.h"
#include "test_time.h"

struct ListingSwitch {
    std::unique_ptr<EnvGuard> Env;
    ListingSwitch(const char *name, const char *value) : Env(new EnvGuard(name, value))
    {
        ChooseListingCalls();
    }
    ~ListingSwitch()
    {
        Env.reset();
        ChooseListingCalls();
    }
};

#endif
