// HistoryStore::restore of an arbitrary record file. The store keeps its records in "opts" beside the
// executable, so this target is built into a directory of its own; the record name carries the process id, so
// that parallel jobs do not share a file.
#include "fuzzsupport.h"
#include "history/historystore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdlib>

namespace {

QString recordName;
QString recordPath;

void removeRecord()
{
    QFile::remove(recordPath);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzing::start(argc, argv);
    QDir().mkpath(HistoryStore::directory());
    recordName = QStringLiteral("fuzz-%1").arg(QCoreApplication::applicationPid());
    recordPath = HistoryStore::directory() + QLatin1Char('/') + recordName + QStringLiteral(".json");
    std::atexit(removeRecord);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    {
        QFile record(recordPath);
        fuzzing::require(record.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                             record.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size),
                         "writing the record");
    }
    const HistoryStore::Record restored = HistoryStore::restore(recordName);
    fuzzing::require((restored.code == 0) == bool(restored.key), "a key exactly on success");
    return 0;
}
