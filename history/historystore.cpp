#include "history/historystore.h"

#include "app/cryptosupport.h"
#include "app/logfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTextStream>

#include <openssl/err.h>
#include <openssl/pem.h>

#include <algorithm>
#include <tuple>

namespace {

constexpr int kRecordLimit = 10;
// More than enough for every save of one second; past it the save fails instead of searching on forever.
constexpr int kMaxRecordsPerName = 1000;
constexpr char kRecordCodec[] = "UTF-8";
constexpr char kLogPrefix[] = "error. ";
const QString kNameFormat = QStringLiteral("yyyy年MM月dd日 hh时mm分ss秒");
const QFileDevice::Permissions kOwnerReadWrite = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QString& applicationDirectoryOverride()
{
    static QString path;
    return path;
}

// Where a program may write: tried, because permission bits do not tell (Windows folders, read-only mounts).
bool isWritableDirectory(const QString& path)
{
    if (!QFileInfo(path).isDir())
        return false;
    QTemporaryFile probe(path + QStringLiteral("/.write-probe-XXXXXX"));
    return probe.open();
}

// The time and number of a record's name ("…ss秒" is number 1, "…ss秒-2" number 2); an invalid time for a name
// that is not a record's.
std::tuple<QDateTime, int> recordOrder(const QString& name)
{
    static const QRegularExpression suffix(QStringLiteral("-(\\d{1,9})$"));
    const QRegularExpressionMatch match = suffix.match(name);
    if (!match.hasMatch())
        return {QDateTime::fromString(name, kNameFormat), 1};
    return {QDateTime::fromString(name.left(match.capturedStart()), kNameFormat), match.captured(1).toInt()};
}

// Newest first. Among equal times (saves of one second can share one on a coarse clock) records come newest
// name first, then other files in ascending order of file name.
QFileInfoList recordFiles(const QDir& directory)
{
    QFileInfoList files = directory.entryInfoList(QStringList{QStringLiteral("*.json")}, QDir::Files);
    std::sort(files.begin(), files.end(), [](const QFileInfo& left, const QFileInfo& right) {
        const QDateTime leftTime = left.lastModified();
        const QDateTime rightTime = right.lastModified();
        if (leftTime != rightTime)
            return leftTime > rightTime;
        const auto leftOrder = recordOrder(left.baseName());
        const auto rightOrder = recordOrder(right.baseName());
        const bool leftIsRecord = std::get<0>(leftOrder).isValid();
        const bool rightIsRecord = std::get<0>(rightOrder).isValid();
        if (leftIsRecord != rightIsRecord)
            return leftIsRecord;
        if (leftIsRecord && leftOrder != rightOrder)
            return leftOrder > rightOrder;
        return left.fileName() < right.fileName();
    });
    return files;
}

bool createOwnerOnlyDirectory(const QString& path)
{
    // The per-user data directory may not exist yet; beside the executable only "opts" itself is new.
    const QFileInfo info(path);
    if (!QDir().mkpath(info.path()))
        return false;
    // Another running copy may have made it in the meantime; then it is already owner-only.
    if (!QDir().mkdir(path))
        return QFileInfo(path).isDir();
    // The records hold private keys in the clear.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

// Claims a free record name for the save by creating its file exclusively, so that neither another save of
// this process nor one of another running copy can take it too. Returns the file's path, empty if none.
QString claimRecordFile(const QString& directory, const QString& name)
{
    for (int number = 1; number <= kMaxRecordsPerName; ++number) {
        const QString candidate = number == 1 ? name : name + QLatin1Char('-') + QString::number(number);
        const QString path = directory + QLatin1Char('/') + candidate + QStringLiteral(".json");
        QFile claim(path);
        if (claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            claim.setPermissions(kOwnerReadWrite);
            return path;
        }
        if (!QFileInfo::exists(path))
            return QString(); // not taken, yet it cannot be created
    }
    return QString();
}

// The claimed file is replaced by the complete record, so a record is either whole or absent.
int writeRecord(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kOwnerReadWrite))
        return 30013;
    QTextStream stream(&file);
    // UTF-8 whatever the locale says.
    stream.setCodec(kRecordCodec);
    stream << text;
    stream.flush();
    if (stream.status() != QTextStream::Ok || !file.commit())
        return 30014;
    return 0;
}

} // namespace

QString HistoryStore::directory()
{
    QString base = applicationDirectoryOverride();
    if (base.isEmpty()) {
        // Without an application object applicationDirPath() is empty, and "opts" would be taken from the root.
        if (!QCoreApplication::instance())
            return QString();
        base = QCoreApplication::applicationDirPath();
    }
    const QString beside = base + QStringLiteral("/opts");
    if (isWritableDirectory(QFileInfo(beside).isDir() ? beside : base))
        return beside;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/opts");
}

void HistoryStore::setApplicationDirectory(const QString& path)
{
    applicationDirectoryOverride() = path;
}

int HistoryStore::keyToPem(EVP_PKEY* key, QByteArray& pem)
{
    crypto::ensureProviders();
    ERR_clear_error();
    if (!key)
        return 30010;
    const QByteArray text = crypto::writtenToMemory(
        [key](BIO* bio) { return PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr); });
    if (text.isEmpty()) {
        crypto::logLibraryError(kLogPrefix);
        return text.isNull() ? 30002 : 30003;
    }
    pem = text;
    return 0;
}

int HistoryStore::save(const QByteArray& spNo, const QByteArray& spName, EVP_PKEY* key, const QByteArray& csr)
{
    if (!key || csr.isEmpty())
        return 30010;
    QByteArray pem;
    const int code = keyToPem(key, pem);
    if (code != 0)
        return code;

    QJsonObject record;
    record.insert(QStringLiteral("spNo"), QString::fromUtf8(spNo));
    record.insert(QStringLiteral("spName"), QString::fromUtf8(spName));
    record.insert(QStringLiteral("key"), QString::fromUtf8(pem));
    record.insert(QStringLiteral("csr"), QString::fromUtf8(csr));
    const QString text = QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact));
    if (text.isEmpty())
        return 30011;

    const QString path = directory();
    if (path.isEmpty() || (!QDir(path).exists() && !createOwnerOnlyDirectory(path)))
        return 30012;

    const QString file = claimRecordFile(path, QDateTime::currentDateTime().toString(kNameFormat));
    if (file.isEmpty())
        return 30013;
    const int written = writeRecord(file, text);
    if (written != 0) {
        QFile::remove(file);
        return written;
    }

    QFileInfoList files = recordFiles(QDir(path));
    while (files.size() > kRecordLimit) {
        QFile::remove(files.last().filePath());
        files.removeLast();
    }
    return 0;
}

QStringList HistoryStore::list()
{
    QStringList names;
    const QString path = directory();
    if (path.isEmpty() || !QDir(path).exists())
        return names;
    const QFileInfoList files = recordFiles(QDir(path));
    for (const QFileInfo& file : files)
        names.append(file.baseName());
    return names;
}

int HistoryStore::restore(const QString& name, QString& spNo, QString& spName, QString& csr, EVP_PKEY** keySlot)
{
    crypto::ensureProviders();
    ERR_clear_error();
    if (name.isEmpty())
        return 30020;
    // A name comes from the list, but the caller may hand over anything.
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QStringLiteral("..")))
        return 30027;

    const QString path = directory();
    if (path.isEmpty())
        return 30026;
    QFile file(path + QLatin1Char('/') + name + QStringLiteral(".json"));
    if (!file.open(QIODevice::ReadOnly))
        return 30026;
    QTextStream stream(&file);
    stream.setCodec(kRecordCodec);
    const QString text = stream.readAll();
    file.close();
    if (text.isEmpty())
        return 30021;

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (document.isNull() || error.error != QJsonParseError::NoError)
        return 30022;
    if (!document.isObject())
        return 30023;
    const QJsonObject record = document.object();
    for (const char* member : {"spNo", "spName", "csr", "key"}) {
        if (!record.contains(QLatin1String(member)))
            return 30024;
    }

    spNo = record.value(QStringLiteral("spNo")).toString();
    spName = record.value(QStringLiteral("spName")).toString();
    csr = record.value(QStringLiteral("csr")).toString();

    const QByteArray pem = record.value(QStringLiteral("key")).toString().toUtf8();
    crypto::BioPtr bio = crypto::readBio(pem);
    if (!bio) {
        crypto::logLibraryError(kLogPrefix);
        return 30024;
    }
    crypto::PkeyPtr restored(PEM_read_bio_PrivateKey(bio.get(), nullptr, crypto::refusePassphrase, nullptr));
    if (!restored) {
        crypto::logLibraryError(kLogPrefix);
        return 30025;
    }
    if (keySlot) {
        EVP_PKEY_free(*keySlot);
        *keySlot = restored.release();
    }
    return 0;
}

void HistoryStore::clear()
{
    // An empty path would name the working directory.
    const QString path = directory();
    if (!path.isEmpty())
        QDir(path).removeRecursively();
}
