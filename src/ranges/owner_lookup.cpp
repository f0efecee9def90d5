// The owner of a file through the security descriptor and the account database.
#include "ranges/owner_lookup.h"

#include <stdlib.h>

#include "platform/platform.h"
#include "plugin/result_codes.h"
#include "ranges/range_internal.h"

int GetOwner(const wchar_t *path, wchar_t *out)
{
    if (path == nullptr || out == nullptr) return RESULT_MISSING_ARGUMENT;

    DWORD needed = 0;
    GetFileSecurityW(path, OWNER_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0) return RESULT_FAILED;

    wchar_t account[RANGE_TEXT_LEN];
    wchar_t domain[RANGE_TEXT_LEN];
    account[0] = L'\0';
    domain[0] = L'\0';
    int result = 1;
    void *descriptor = malloc(needed);
    if (descriptor != nullptr) {
        DWORD got = 0;
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        DWORD accountLength = RANGE_TEXT_LEN;
        DWORD domainLength = RANGE_TEXT_LEN;
        SID_NAME_USE use;
        if (GetFileSecurityW(path, OWNER_SECURITY_INFORMATION, descriptor, needed, &got) &&
            GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != nullptr &&
            LookupAccountSidW(nullptr, owner, account, &accountLength, domain, &domainLength,
                              &use))
            result = 0;
        free(descriptor);
    }
    // A failed lookup may leave anything in the buffers; only a completed one is read.
    if (result != 0) return result;
    account[RANGE_TEXT_LEN - 1] = L'\0';
    domain[RANGE_TEXT_LEN - 1] = L'\0';
    size_t accountChars = wcslen(account);
    size_t domainChars = wcslen(domain);
    if (accountChars == 0 || domainChars == 0) return result;
    // Two full-size names do not fit the caller's buffer together.
    if (domainChars + 1 + accountChars >= RANGE_TEXT_LEN) return RESULT_FAILED;
    wmemcpy(out, domain, domainChars);
    out[domainChars] = L'\\';
    wmemcpy(out + domainChars + 1, account, accountChars + 1);
    return result;
}
