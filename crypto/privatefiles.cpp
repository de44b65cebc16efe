#include "crypto/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <qt_windows.h>

#include <aclapi.h>

#include <string>
#include <vector>
#else
#include <sys/stat.h>
#endif

#ifdef Q_OS_WIN
namespace {

// The SID of the user this process runs as, in a buffer of the token's own layout.
std::vector<unsigned char> currentUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    const bool read = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    if (!read)
        return {};
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    const DWORD length = GetLengthSid(user->User.Sid);
    std::vector<unsigned char> sid(length);
    if (!CopySid(length, sid.data(), user->User.Sid))
        return {};
    return sid;
}

// An access list with one entry: the SID may do everything; a directory passes the entry on to its content.
std::vector<unsigned char> ownerOnlyAcl(std::vector<unsigned char>& sid, bool directory)
{
    const DWORD size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid.data()) - sizeof(DWORD);
    std::vector<unsigned char> acl(size);
    const DWORD inheritance = directory ? OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE : 0;
    if (!InitializeAcl(reinterpret_cast<PACL>(acl.data()), size, ACL_REVISION) ||
        !AddAccessAllowedAceEx(reinterpret_cast<PACL>(acl.data()), ACL_REVISION, inheritance, FILE_ALL_ACCESS,
                               sid.data()))
        return {};
    return acl;
}

// FAT and exFAT volumes (USB sticks) keep no access lists: there is nothing to restrict, and nothing to fail.
bool keepsAccessLists(const std::wstring& path)
{
    wchar_t volume[MAX_PATH + 1];
    DWORD flags = 0;
    if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1) ||
        !GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
        return true; // unknown: try, and let the system answer
    return flags & FILE_PERSISTENT_ACLS;
}

} // namespace
#endif

bool PrivateFiles::restrictToOwner(const QString& path)
{
    const bool directory = QFileInfo(path).isDir();
#ifdef Q_OS_WIN
    std::vector<unsigned char> sid = currentUserSid();
    if (sid.empty())
        return false;
    std::vector<unsigned char> acl = ownerOnlyAcl(sid, directory);
    if (acl.empty())
        return false;
    std::wstring name = QFileInfo(path).absoluteFilePath().replace(QLatin1Char('/'), QLatin1Char('\\')).toStdWString();
    if (!keepsAccessLists(name))
        return true;
    // PROTECTED: the entries of the parent folder are no longer inherited.
    return SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 reinterpret_cast<PACL>(acl.data()), nullptr) == ERROR_SUCCESS;
#else
    return QFile::setPermissions(path, directory
                                           ? QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                           : QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
}

bool PrivateFiles::makeDirectory(const QString& path)
{
#ifdef Q_OS_WIN
    std::vector<unsigned char> sid = currentUserSid();
    std::vector<unsigned char> acl = sid.empty() ? std::vector<unsigned char>() : ownerOnlyAcl(sid, true);
    SECURITY_DESCRIPTOR descriptor;
    // PROTECTED: the entries of the parent folder are not merged in.
    if (acl.empty() || !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return false;
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
    const std::wstring name = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
    return CreateDirectoryW(name.c_str(), &attributes) != 0;
#else
    // The umask can only take more away.
    return ::mkdir(QFile::encodeName(path).constData(), S_IRWXU) == 0;
#endif
}
