#include "history/historystore.h"

#include "app/logfile.h"
#include "crypto/cryptosupport.h"
#include "history/historydirectory.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
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
// A record is a few kilobytes; a larger file is none, and is not read into memory.
constexpr qint64 kRecordSizeLimit = 64 * 1024;
constexpr char kRecordCodec[] = "UTF-8";
constexpr char kLogPrefix[] = "error. ";
const QString kNameFormat = QStringLiteral("yyyy年MM月dd日 hh时mm分ss秒");

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

bool isRecordName(const QString& fileName)
{
    return std::get<0>(recordOrder(fileName)).isValid();
}

// The *.json files: records first, newest name first (the time of making, which no copy or touch changes; among
// one second's records the highest number first), then other files, most recently modified first and in
// ascending order of file name among equal times.
QVector<HistoryDirectory::File> recordFiles(const HistoryDirectory& directory)
{
    QVector<HistoryDirectory::File> files;
    const QVector<HistoryDirectory::File> all = directory.files();
    for (const HistoryDirectory::File& file : all) {
        if (!file.name.startsWith(QLatin1Char('.')) && file.name.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
            files.append(file);
    }
    std::sort(files.begin(), files.end(), [](const HistoryDirectory::File& left, const HistoryDirectory::File& right) {
        const auto leftOrder = recordOrder(left.name);
        const auto rightOrder = recordOrder(right.name);
        const bool leftIsRecord = std::get<0>(leftOrder).isValid();
        if (leftIsRecord != std::get<0>(rightOrder).isValid())
            return leftIsRecord;
        if (leftIsRecord)
            return leftOrder > rightOrder;
        if (left.modified != right.modified)
            return left.modified > right.modified;
        return left.name < right.name;
    });
    return files;
}

// Claims a free record name for the save by creating its file exclusively, so that neither another save of
// this process nor one of another running copy can take it too. Returns the file's name, empty if none.
QString claimRecordFile(const HistoryDirectory& directory, const QString& name)
{
    for (int number = 1; number <= kMaxRecordsPerName; ++number) {
        const QString candidate = number == 1 ? name : name + QLatin1Char('-') + QString::number(number);
        // Empty until the complete record replaces it.
        switch (directory.createNew(candidate + QStringLiteral(".json"))) {
        case HistoryDirectory::Created:
            return candidate + QStringLiteral(".json");
        case HistoryDirectory::Taken:
            continue;
        case HistoryDirectory::Failed:
            return QString();
        }
    }
    return QString();
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
    if (path.isEmpty())
        return HistoryStore::RecordNotFound;
    QByteArray bytes;
    const crypto::ScopedCleanse forgetRecord(bytes); // the record holds the key in the clear
    if (!HistoryDirectory(path, false).read(name + QStringLiteral(".json"), kRecordSizeLimit, bytes))
        return HistoryStore::RecordNotFound;
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    QTextStream stream(&file);
    stream.setCodec(kRecordCodec);
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

    QByteArray pem = members.value(QStringLiteral("key")).toString().toUtf8();
    const crypto::ScopedCleanse forgetPem(pem);
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
    const crypto::ScopedCleanse forgetPem(pem);
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
    HistoryDirectory history(path, true);
    if (history.state() != HistoryDirectory::Usable)
        return DirectoryUnusable;

    const QString file = claimRecordFile(history, QDateTime::currentDateTime().toString(kNameFormat));
    if (file.isEmpty())
        return RecordNotOpened;
    if (!history.replace(file, text.toUtf8())) {
        history.remove(file);
        return RecordNotWritten;
    }

    // Only records count and go; other files in the directory are not the store's to delete. The record just
    // saved stays whatever the others' names say (a clock that was ahead leaves names in the future).
    int kept = 1;
    const QVector<HistoryDirectory::File> files = recordFiles(history);
    for (const HistoryDirectory::File& record : files) {
        if (record.name != file && isRecordName(record.name) && ++kept > kRecordLimit)
            history.remove(record.name);
    }
    return 0;
}

QStringList HistoryStore::list(int* code)
{
    QStringList names;
    const QString path = directory();
    if (code)
        *code = 0;
    if (path.isEmpty())
        return names;
    const HistoryDirectory history(path, false);
    if (code && history.state() == HistoryDirectory::Refused)
        *code = RecordNotFound;
    const QVector<HistoryDirectory::File> files = recordFiles(history);
    for (const HistoryDirectory::File& file : files)
        names.append(file.name.section(QLatin1Char('.'), 0, 0));
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
    // An empty path would name the working directory.
    const QString path = directory();
    if (!path.isEmpty())
        HistoryDirectory(path, false).removeAll();
}
