#include "history/historystore.h"

#include "app/logfile.h"
#include "crypto/cryptosupport.h"
#include "crypto/privatefiles.h"

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

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

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

// The time and number of a record's file name ("…ss秒.json" is number 1, "…ss秒-2.json" number 2, up to the
// last number a save tries); an invalid time for any other name, which is no record of this store.
std::tuple<QDateTime, int> recordOrder(const QString& fileName)
{
    static const QRegularExpression shape(QStringLiteral(
        "^([0-9]{4}年[0-9]{2}月[0-9]{2}日 [0-9]{2}时[0-9]{2}分[0-9]{2}秒)(?:-([1-9][0-9]{0,8}))?\\.json$"));
    const QRegularExpressionMatch match = shape.match(fileName);
    const int number = match.capturedLength(2) > 0 ? match.captured(2).toInt() : 1;
    if (!match.hasMatch() || (match.capturedLength(2) > 0 && (number < 2 || number > kMaxRecordsPerName)))
        return {QDateTime(), 0};
    return {QDateTime::fromString(match.captured(1), kNameFormat), number};
}

bool isRecordFile(const QFileInfo& file)
{
    return std::get<0>(recordOrder(file.fileName())).isValid();
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
        const auto leftOrder = recordOrder(left.fileName());
        const auto rightOrder = recordOrder(right.fileName());
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

void logRefusedDirectory(const char* reason, const QString& path)
{
    LogFile::instance()->write("操作记录目录不可用（%s）：%s", reason, QFile::encodeName(path).constData());
}

enum class DirectoryState { Missing, Usable, Refused };

// Whether the history directory may be used. Through a symbolic link (or a Windows junction) the records, the
// pruning and clear would reach another directory; a directory of another user (POSIX systems) lets that user
// read, remove or plant records. Either, or anything else than a directory in its place, is refused and the
// refusal logged. An own directory is made owner-only, since the records hold private keys in the clear.
// Windows has no owner check here; the directory gets an access list of its own that admits only the current
// user and passes that on to every record created in it.
DirectoryState checkDirectory(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || info.isJunction()) {
        logRefusedDirectory("符号链接", path);
        return DirectoryState::Refused;
    }
    if (!info.exists())
        return DirectoryState::Missing;
    if (!info.isDir()) {
        logRefusedDirectory("不是目录", path);
        return DirectoryState::Refused;
    }
#ifdef Q_OS_UNIX
    if (info.ownerId() != uint(::geteuid())) {
        logRefusedDirectory("属于其他用户", path);
        return DirectoryState::Refused;
    }
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    // Read-only mounts and FAT file systems may refuse; the records themselves are owner-only all the same.
    if ((info.permissions() & others) &&
        !QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        LogFile::instance()->write("操作记录目录无法设为仅所有者可访问：%s", QFile::encodeName(path).constData());
#else
    if (!PrivateFiles::restrictToOwner(path))
        LogFile::instance()->write("操作记录目录无法设为仅所有者可访问：%s", QFile::encodeName(path).constData());
#endif
    return DirectoryState::Usable;
}

// The check that follows makes the new directory owner-only, or logs that it cannot.
bool createDirectory(const QString& path)
{
    // The per-user data directory may not exist yet; beside the executable only "opts" itself is new.
    const QFileInfo info(path);
    if (!QDir().mkpath(info.path()))
        return false;
    // Another running copy may have made it in the meantime.
    return QDir().mkdir(path) || QFileInfo(path).isDir();
}

// Claims a free record name for the save by creating its file exclusively, so that neither another save of
// this process nor one of another running copy can take it too. Returns the file's path, empty if none.
QString claimRecordFile(const QString& directory, const QString& name)
{
    for (int number = 1; number <= kMaxRecordsPerName; ++number) {
        const QString candidate = number == 1 ? name : name + QLatin1Char('-') + QString::number(number);
        const QString path = directory + QLatin1Char('/') + candidate + QStringLiteral(".json");
        // Empty until writeRecord replaces it with the owner-only record.
        if (QFile(path).open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!QFileInfo::exists(path))
            return QString(); // not taken, yet it cannot be created
    }
    return QString();
}

// The claimed file is replaced by the complete record, so a record is either whole or absent. QSaveFile keeps
// what is written in a buffer, and its commit() puts the file in place even when writing that buffer out failed
// (a full disk, a file size limit). So every step is checked before the commit; after a failure the file is
// not committed, and QSaveFile removes its temporary file.
int writeRecord(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kOwnerReadWrite))
        return HistoryStore::RecordNotOpened;
    bool written = file.write(bytes) == bytes.size() && file.flush();
#ifdef Q_OS_UNIX
    // Network file systems may report a failed write only when the data is to reach the disk.
    written = written && ::fsync(file.handle()) == 0;
#endif
    if (!written || !file.commit())
        return HistoryStore::RecordNotWritten;
    return 0;
}

// Whether csr is a certificate request of key with a valid signature: only then can the certificate issued
// for it be packaged with the key.
bool isRequestOfKey(const QByteArray& csr, const EVP_PKEY* key)
{
    crypto::BioPtr bio = crypto::readBio(csr);
    if (!bio)
        return false;
    crypto::X509ReqPtr request(PEM_read_bio_X509_REQ(bio.get(), nullptr, crypto::refusePassphrase, nullptr));
    EVP_PKEY* const requestKey = request ? X509_REQ_get0_pubkey(request.get()) : nullptr;
    return requestKey && EVP_PKEY_eq(requestKey, key) == 1 && X509_REQ_verify(request.get(), requestKey) == 1;
}

// The work of HistoryStore::restore: fills record as far as it gets and returns the code.
int readRecord(const QString& name, HistoryStore::Record& record)
{
    if (name.isEmpty())
        return HistoryStore::NameEmpty;
    // A name comes from the list, but the caller may hand over anything.
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name.contains(QStringLiteral("..")))
        return HistoryStore::NameLeavesDirectory;

    const QString path = HistoryStore::directory();
    if (path.isEmpty() || checkDirectory(path) != DirectoryState::Usable)
        return HistoryStore::RecordNotFound;
    QFile file(path + QLatin1Char('/') + name + QStringLiteral(".json"));
    if (!file.open(QIODevice::ReadOnly))
        return HistoryStore::RecordNotFound;
    QTextStream stream(&file);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    stream.setCodec(kRecordCodec);
#else
    stream.setEncoding(*QStringConverter::encodingForName(kRecordCodec));
#endif
    const QString text = stream.readAll();
    file.close();
    if (text.isEmpty())
        return HistoryStore::RecordEmpty;

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (document.isNull() || error.error != QJsonParseError::NoError)
        return HistoryStore::RecordNotJson;
    if (!document.isObject())
        return HistoryStore::RecordNotObject;
    const QJsonObject members = document.object();
    for (const char* member : {"spNo", "spName", "csr", "key"}) {
        if (!members.contains(QLatin1String(member)))
            return HistoryStore::MemberMissing;
    }

    record.spNo = members.value(QStringLiteral("spNo")).toString();
    record.spName = members.value(QStringLiteral("spName")).toString();
    record.csr = members.value(QStringLiteral("csr")).toString();

    const QByteArray pem = members.value(QStringLiteral("key")).toString().toUtf8();
    crypto::BioPtr bio = crypto::readBio(pem);
    if (!bio) {
        crypto::logLibraryError(kLogPrefix);
        return HistoryStore::MemberMissing;
    }
    crypto::PkeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, crypto::refusePassphrase, nullptr));
    if (!key) {
        crypto::logLibraryError(kLogPrefix);
        return HistoryStore::StoredKeyUnreadable;
    }
    if (!isRequestOfKey(record.csr.toUtf8(), key.get())) {
        if (ERR_peek_error() != 0)
            crypto::logLibraryError(kLogPrefix);
        return HistoryStore::RequestNotOfKey;
    }
    record.key = std::move(key);
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
    // A link there is refused where it is used; nothing is written through it, not even a probe.
    const QFileInfo besideInfo(beside);
    if (besideInfo.isSymLink() || besideInfo.isJunction())
        return beside;
    if (isWritableDirectory(besideInfo.isDir() ? beside : base))
        return beside;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/opts");
}

void HistoryStore::setApplicationDirectory(const QString& path)
{
    applicationDirectoryOverride() = path;
}

int HistoryStore::keyToPem(const EVP_PKEY* key, QByteArray& pem)
{
    crypto::ensureProviders();
    ERR_clear_error();
    if (!key)
        return NothingToSave;
    const QByteArray text = crypto::writtenToMemory(
        [key](BIO* bio) { return PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr); });
    if (text.isEmpty()) {
        crypto::logLibraryError(kLogPrefix);
        return text.isNull() ? NoMemoryBio : KeyTextNotWritten;
    }
    pem = text;
    return 0;
}

int HistoryStore::save(const QByteArray& spNo, const QByteArray& spName, const EVP_PKEY* key, const QByteArray& csr)
{
    if (!key || csr.isEmpty())
        return NothingToSave;
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
        return RecordTextEmpty;

    const QString path = directory();
    if (path.isEmpty())
        return DirectoryUnusable;
    DirectoryState state = checkDirectory(path);
    // Checked again once made: another running copy, or someone else, may have put something there meanwhile.
    if (state == DirectoryState::Missing && createDirectory(path))
        state = checkDirectory(path);
    if (state != DirectoryState::Usable)
        return DirectoryUnusable;

    const QString file = claimRecordFile(path, QDateTime::currentDateTime().toString(kNameFormat));
    if (file.isEmpty())
        return RecordNotOpened;
    const int written = writeRecord(file, text.toUtf8());
    if (written != 0) {
        QFile::remove(file);
        return written;
    }

    // Only records count and go; other files in the directory are not the store's to delete.
    int records = 0;
    const QFileInfoList files = recordFiles(QDir(path));
    for (const QFileInfo& record : files) {
        if (isRecordFile(record) && ++records > kRecordLimit)
            QFile::remove(record.filePath());
    }
    return 0;
}

QStringList HistoryStore::list()
{
    QStringList names;
    const QString path = directory();
    if (path.isEmpty() || checkDirectory(path) != DirectoryState::Usable)
        return names;
    const QFileInfoList files = recordFiles(QDir(path));
    for (const QFileInfo& file : files)
        names.append(file.baseName());
    return names;
}

HistoryStore::Record HistoryStore::restore(const QString& name)
{
    crypto::ensureProviders();
    ERR_clear_error();
    Record record;
    record.code = readRecord(name, record);
    return record;
}

void HistoryStore::clear()
{
    // An empty path would name the working directory. removeRecursively deletes links inside, not their targets.
    const QString path = directory();
    if (!path.isEmpty() && checkDirectory(path) == DirectoryState::Usable)
        QDir(path).removeRecursively();
}
