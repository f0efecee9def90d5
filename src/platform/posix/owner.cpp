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
    if (path == nullptr || lengthNeeded == nullptr) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    NativePath p;
    if (!MakeNativePath(path, &p)) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    struct stat st;
    // Follows links, as Windows reports the target's owner.
    bool ok = (p.Text[0] != 0) && StatLongPath(p.Text, &st, nullptr) == 0;
    int err = p.Text[0] ? errno : ENOENT;
    FreeNativePath(&p);
    if (!ok) {
        *lengthNeeded = 0;
        SetError(ErrorFromErrno(err));
        return FALSE;
    }
    *lengthNeeded = sizeof(SecurityRecord);
    if (sd == nullptr || length < sizeof(SecurityRecord)) {
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    SecurityRecord rec;
    rec.Tag = SECURITY_TAG;
    rec.Owner.Tag = SID_TAG;
    rec.Owner.Uid = (uint32_t)st.st_uid;
    memcpy(sd, &rec, sizeof rec);
    return TRUE;
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID *owner, LPBOOL defaulted)
{
    SecurityRecord *rec = (SecurityRecord *)sd;
    if (rec == nullptr || owner == nullptr || rec->Tag != SECURITY_TAG) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *owner = &rec->Owner;
    if (defaulted != nullptr) *defaulted = FALSE;
    return TRUE;
}

BOOL LookupAccountSidW(LPCWSTR, PSID sid, LPWSTR name, LPDWORD nameSize, LPWSTR domain,
                       LPDWORD domainSize, SID_NAME_USE *use)
{
    SidRecord *s = (SidRecord *)sid;
    if (s == nullptr || nameSize == nullptr || domainSize == nullptr || s->Tag != SID_TAG) {
        SetError(ERROR_INVALID_PARAMETER);
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
        if (buf == nullptr) break;
    }
    bool known = buf != nullptr && rc == 0 && found != nullptr && found->pw_name != nullptr &&
                 found->pw_name[0] != 0;
    if (known) NativeToWide(found->pw_name, strlen(found->pw_name), account, 256);
    if (buf != stackBuf) free(buf);
    // Windows cannot name a SID without an account either: the lookup fails and the
    // owner text stays empty, so an owner pattern such as "*\*" does not select it.
    if (!known) {
        SetError((buf == nullptr || rc == ERANGE) ? ERROR_NOT_ENOUGH_MEMORY : ERROR_NONE_MAPPED);
        return FALSE;
    }

    // The domain of a local account is the computer name: the host name up to its
    // first dot, in upper case, as Windows shows it.
    char host[256];
    wchar_t machine[256];
    if (gethostname(host, sizeof host) != 0) host[0] = 0;
    host[sizeof host - 1] = 0;
    char *dot = strchr(host, '.');
    if (dot != nullptr) *dot = 0;
    NativeToWide(host, strlen(host), machine, 256);
    for (wchar_t *c = machine; *c; ++c)
        if (*c >= L'a' && *c <= L'z') *c = (wchar_t)(*c - 32);

    DWORD needName = (DWORD)wcslen(account) + 1, needDomain = (DWORD)wcslen(machine) + 1;
    if (*nameSize < needName || *domainSize < needDomain || name == nullptr || domain == nullptr) {
        *nameSize = needName;
        *domainSize = needDomain;
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    wmemcpy(name, account, needName);
    wmemcpy(domain, machine, needDomain);
    *nameSize = needName - 1;
    *domainSize = needDomain - 1;
    if (use != nullptr) *use = 1;  // SidTypeUser
    return TRUE;
}
