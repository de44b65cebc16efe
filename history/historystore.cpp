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
#include <QSaveFile>
#include <QTextStream>

#include <openssl/err.h>
#include <openssl/pem.h>

#include <algorithm>

namespace {

constexpr int kRecordLimit = 10;
constexpr char kRecordCodec[] = "UTF-8";

// Newest first; records of the same moment in ascending order of file name.
QFileInfoList recordFiles(const QDir& directory)
{
    QFileInfoList files = directory.entryInfoList(QStringList{QStringLiteral("*.json")}, QDir::Files);
    std::sort(files.begin(), files.end(), [](const QFileInfo& left, const QFileInfo& right) {
        const QDateTime leftTime = left.lastModified();
        const QDateTime rightTime = right.lastModified();
        if (leftTime != rightTime)
            return leftTime > rightTime;
        return left.fileName() < right.fileName();
    });
    return files;
}

bool createOwnerOnlyDirectory(const QString& path)
{
    if (!QDir().mkdir(path))
        return false;
    // The records hold private keys in the clear.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

} // namespace

QString HistoryStore::directory()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/opts");
}

void HistoryStore::logCryptoError()
{
    // An empty queue gives code 0, whose text is logged all the same.
    LogFile::instance()->write("error. %s", crypto::errorText(ERR_get_error()).constData());
}

int HistoryStore::keyToPem(EVP_PKEY* key, QByteArray& pem)
{
    crypto::ensureProviders();
    ERR_clear_error();
    if (!key)
        return 30010;
    crypto::BioPtr bio = crypto::writeBio();
    if (!bio) {
        logCryptoError();
        return 30002;
    }
    if (PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        logCryptoError();
        return 30003;
    }
    const QByteArray text = crypto::bioContents(bio.get());
    if (text.isEmpty()) {
        logCryptoError();
        return 30003;
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
    if (!QDir(path).exists() && !createOwnerOnlyDirectory(path))
        return 30012;

    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("yyyy年MM月dd日 hh时mm分ss秒"));
    // Written beside the record and renamed into place, so a record is complete or absent.
    QSaveFile file(path + QLatin1Char('/') + name + QStringLiteral(".json"));
    if (!file.open(QIODevice::WriteOnly))
        return 30013;
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return 30013;
    {
        QTextStream stream(&file);
        // UTF-8 whatever the locale says.
        stream.setCodec(kRecordCodec);
        stream << text;
        stream.flush();
        if (stream.status() != QTextStream::Ok)
            return 30014;
    }
    if (!file.commit())
        return 30014;

    QFileInfoList files = recordFiles(QDir(path));
    while (files.size() > kRecordLimit) {
        QFile::remove(files.last().filePath());
        files.removeLast();
    }
    return 0;
}

QStringList HistoryStore::list()
{
    const QDir history(directory());
    QStringList names;
    if (!history.exists())
        return names;
    const QFileInfoList files = recordFiles(history);
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

    QFile file(directory() + QLatin1Char('/') + name + QStringLiteral(".json"));
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
        logCryptoError();
        return 30024;
    }
    crypto::PkeyPtr restored(PEM_read_bio_PrivateKey(bio.get(), nullptr, crypto::refusePassphrase, nullptr));
    if (!restored) {
        logCryptoError();
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
    QDir(directory()).removeRecursively();
}
