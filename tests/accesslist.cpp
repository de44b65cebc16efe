#include "accesslist.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#ifdef Q_OS_WIN
#include <qt_windows.h>

#include <aclapi.h>
#include <sddl.h>
#endif

QString accessListOf(const QString& path)
{
#ifdef Q_OS_WIN
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
    if (GetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return QString();
    LPWSTR text = nullptr;
    QString result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        result = QString::fromWCharArray(text);
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
#else
    Q_UNUSED(path)
    return QString();
#endif
}

QString userSid()
{
#ifdef Q_OS_WIN
    wchar_t name[256];
    DWORD nameLength = 256;
    if (!GetUserNameW(name, &nameLength))
        return QString();
    unsigned char sid[SECURITY_MAX_SID_SIZE];
    DWORD sidLength = sizeof sid;
    wchar_t domain[256];
    DWORD domainLength = 256;
    SID_NAME_USE use;
    LPWSTR text = nullptr;
    if (!LookupAccountNameW(nullptr, name, sid, &sidLength, domain, &domainLength, &use) ||
        !ConvertSidToStringSidW(sid, &text))
        return QString();
    const QString result = QString::fromWCharArray(text);
    LocalFree(text);
    return result;
#else
    return QString();
#endif
}

bool admitsOwnerAlone(const QString& path)
{
    static const QRegularExpression entry(QStringLiteral("\\(([A-Z]+);[^;]*;[^;]*;[^;]*;[^;]*;([^)]*)\\)"));
    const QString sid = userSid();
    QStringList entries;
    for (auto match = entry.globalMatch(accessListOf(path)); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        entries.append(found.captured(1) + QLatin1Char(' ') + found.captured(2));
    }
    return !sid.isEmpty() && entries == QStringList{QStringLiteral("A ") + sid};
}

bool runsUnderWine()
{
#ifdef Q_OS_WIN
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}
