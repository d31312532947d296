#include "tools/mdbreader.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

#include <glib.h>
// glib first: mdbtools.h uses its types without including it.
#include <mdbtools.h>

namespace {
MdbHandle *handle(void *p)
{
    return static_cast<MdbHandle *>(p);
}

// libmdb says what went wrong only on standard error, and goes on: a page past the end of the file
// or read short comes back as zeros, and a row on it as empty texts. A sound file makes it say
// nothing, so anything it says while reading is damage. The complaints are caught in a file of
// their own for as long as this lives.
class Complaints {
public:
    Complaints()
    {
        std::fflush(stderr);
        m_sink = std::tmpfile();
        m_saved = m_sink ? ::dup(STDERR_FILENO) : -1;
        if (m_saved < 0 || ::dup2(::fileno(m_sink), STDERR_FILENO) < 0)
            restore();
    }
    ~Complaints() { restore(); }
    // The first thing said, or empty when nothing was.
    QString first()
    {
        if (!m_sink)
            return {};
        std::fflush(stderr);
        const long size = std::ftell(m_sink);
        if (size <= 0)
            return {};
        QByteArray text(int(std::min(size, 4096L)), '\0');
        std::rewind(m_sink);
        text.resize(qsizetype(std::fread(text.data(), 1, size_t(text.size()), m_sink)));
        std::fseek(m_sink, 0, SEEK_END);
        return QString::fromLocal8Bit(text.left(text.indexOf('\n'))).trimmed();
    }

private:
    void restore()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
        if (m_sink) {
            std::fclose(m_sink);
            m_sink = nullptr;
        }
    }
    std::FILE *m_sink = nullptr;
    int m_saved = -1;
};

bool damaged(Complaints &complaints, QString *error)
{
    const QString said = complaints.first();
    if (said.isEmpty())
        return false;
    *error = QStringLiteral("the file is damaged (%1)").arg(said);
    return true;
}
} // namespace

MdbReader::MdbReader(int jet3CodePage) : m_codePage(jet3CodePage) {}

MdbReader::~MdbReader()
{
    if (m_mdb)
        mdb_close(handle(m_mdb));
}

bool MdbReader::open(const QString &path, QString *error)
{
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("it is a folder");
        return false;
    }
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("no such file");
        return false;
    }
    // libmdb takes the Jet 3 code page from the environment when it sets up its conversions.
    const QByteArray codePage = "CP" + QByteArray::number(m_codePage);
    qputenv("MDB_JET3_CHARSET", codePage);
    qputenv("MDBICONV", "UTF-8");
    MdbHandle *mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb) {
        *error = QStringLiteral("not an Access database");
        return false;
    }
    mdb_iconv_close(mdb);
    mdb_iconv_init(mdb);
    // The file is read in whole pages; anything else was cut short.
    const qint64 size = QFileInfo(path).size();
    const qint64 page = mdb->fmt->pg_size;
    if (page <= 0 || size % page != 0) {
        mdb_close(mdb);
        *error =
            QStringLiteral("the file is cut short (%1 bytes is no whole number of %2-byte pages)").arg(size).arg(page);
        return false;
    }
    Complaints complaints;
    const bool catalogue = mdb_read_catalog(mdb, MDB_TABLE) != nullptr;
    if (damaged(complaints, error) || !catalogue) {
        mdb_close(mdb);
        if (!catalogue)
            *error = QStringLiteral("its table catalogue cannot be read");
        return false;
    }
    // Room for long remarks: a text that fills the whole buffer is taken as cut short.
    mdb_set_bind_size(mdb, 1 << 20);
    m_mdb = mdb;
    return true;
}

QStringList MdbReader::tableNames()
{
    QStringList names;
    MdbHandle *mdb = handle(m_mdb);
    if (!mdb || !mdb->catalog)
        return names;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry))
            continue;
        names << QString::fromUtf8(entry->object_name);
    }
    return names;
}

bool MdbReader::readTable(const QString &name, LegacyTable *table, QString *error)
{
    MdbHandle *mdb = handle(m_mdb);
    Complaints complaints;
    QByteArray tableName = name.toUtf8();
    MdbTableDef *def = mdb ? mdb_read_table_by_name(mdb, tableName.data(), MDB_TABLE) : nullptr;
    if (!def) {
        *error = QStringLiteral("no table %1").arg(name);
        return false;
    }
    mdb_read_columns(def);
    mdb_rewind_table(def);
    const size_t bindSize = mdb->bind_size;
    const unsigned columns = def->num_cols;
    std::vector<std::unique_ptr<char[]>> buffers;
    std::vector<int> lengths(columns, 0);
    for (unsigned c = 0; c < columns; ++c) {
        auto *column = static_cast<MdbColumn *>(g_ptr_array_index(def->columns, c));
        table->columns << QString::fromUtf8(column->name);
        buffers.emplace_back(new char[bindSize]());
        mdb_bind_column(def, int(c + 1), buffers.back().get(), &lengths[c]);
    }
    bool ok = true;
    while (mdb_fetch_row(def)) {
        QStringList row;
        for (unsigned c = 0; c < columns; ++c) {
            const int length = lengths[c];
            if (size_t(length) + 1 >= bindSize) {
                *error = QStringLiteral("a text in %1.%2 is longer than can be read").arg(name, table->columns[int(c)]);
                ok = false;
                break;
            }
            row << QString::fromUtf8(buffers[c].get(), length);
            buffers[c][0] = '\0';
            lengths[c] = 0;
        }
        if (!ok)
            break;
        table->rows.push_back(row);
    }
    table->catalogueRows = def->num_rows;
    mdb_free_tabledef(def);
    // A page that could not be read whole gave its rows as empty texts, or none at all.
    if (ok && damaged(complaints, error)) {
        table->rows.clear();
        return false;
    }
    return ok;
}
