// The owner of a file as a security descriptor holding a SID, and the account it names.
#include "posix_layer.h"

#include "text/native_text.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vesk_posix;

namespace {

struct SidRecord {
    uint32_t Tag;
    uint32_t Uid;
};

struct SecurityRecord {
    uint32_t Tag;
    SidRecord Owner;
};

}  // namespace

BOOL GetFileSecurityW(LPCWSTR path, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR sd, DWORD length,
                      LPDWORD lengthNeeded)
{
    if (!path || !lengthNeeded) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    NativePath p;
    if (!MakeNativePath(path, &p)) {
        SetError(kErrorNotEnoughMemory);
        return FALSE;
    }
    struct stat st;
    // Follows links, as Windows reports the target's owner.
    bool ok = p.Text[0] && StatLongPath(p.Text, &st, nullptr) == 0;
    int err = p.Text[0] ? errno : ENOENT;
    FreeNativePath(&p);
    if (!ok) {
        *lengthNeeded = 0;
        SetError(ErrorFromErrno(err));
        return FALSE;
    }
    *lengthNeeded = sizeof(SecurityRecord);
    if (!sd || length < sizeof(SecurityRecord)) {
        SetError(kErrorInsufficientBuffer);
        return FALSE;
    }
    SecurityRecord rec;
    rec.Tag = kSecurityTag;
    rec.Owner.Tag = kSidTag;
    rec.Owner.Uid = (uint32_t)st.st_uid;
    memcpy(sd, &rec, sizeof rec);
    return TRUE;
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID *owner, LPBOOL defaulted)
{
    SecurityRecord *rec = (SecurityRecord *)sd;
    if (!rec || !owner || rec->Tag != kSecurityTag) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    *owner = &rec->Owner;
    if (defaulted) *defaulted = FALSE;
    return TRUE;
}

BOOL LookupAccountSidW(LPCWSTR, PSID sid, LPWSTR name, LPDWORD nameSize, LPWSTR domain,
                       LPDWORD domainSize, SID_NAME_USE *use)
{
    SidRecord *s = (SidRecord *)sid;
    if (!s || !nameSize || !domainSize || s->Tag != kSidTag) {
        SetError(kErrorInvalidParameter);
        return FALSE;
    }
    wchar_t account[256];
    struct passwd pw, *found = nullptr;
    char stackBuf[4096];
    char *buf = stackBuf;
    size_t bufSize = sizeof stackBuf;
    int rc;
    // Entries with many fields may need more room than the stack buffer gives.
    while ((rc = getpwuid_r((uid_t)s->Uid, &pw, buf, bufSize, &found)) == ERANGE &&
           bufSize < (1u << 20)) {
        if (buf != stackBuf) free(buf);
        bufSize *= 4;
        buf = (char *)malloc(bufSize);
        if (!buf) break;
    }
    bool known = buf && rc == 0 && found && found->pw_name && found->pw_name[0];
    if (known) NativeToWide(found->pw_name, strlen(found->pw_name), account, 256);
    if (buf != stackBuf) free(buf);
    // Windows cannot name a SID without an account either: the lookup fails and the
    // owner text stays empty, so an owner pattern such as "*\*" does not select it.
    if (!known) {
        SetError((!buf || rc == ERANGE) ? kErrorNotEnoughMemory : kErrorNoneMapped);
        return FALSE;
    }

    // The domain of a local account is the computer name: the host name up to its
    // first dot, in upper case, as Windows shows it.
    char host[256];
    wchar_t machine[256];
    if (gethostname(host, sizeof host) != 0) host[0] = 0;
    host[sizeof host - 1] = 0;
    char *dot = strchr(host, '.');
    if (dot) *dot = 0;
    NativeToWide(host, strlen(host), machine, 256);
    for (wchar_t *c = machine; *c; ++c)
        if (*c >= L'a' && *c <= L'z') *c = (wchar_t)(*c - 32);

    DWORD needName = (DWORD)wcslen(account) + 1, needDomain = (DWORD)wcslen(machine) + 1;
    if (*nameSize < needName || *domainSize < needDomain || !name || !domain) {
        *nameSize = needName;
        *domainSize = needDomain;
        SetError(kErrorInsufficientBuffer);
        return FALSE;
    }
    wmemcpy(name, account, needName);
    wmemcpy(domain, machine, needDomain);
    *nameSize = needName - 1;
    *domainSize = needDomain - 1;
    if (use) *use = 1;  // SidTypeUser
    return TRUE;
}
