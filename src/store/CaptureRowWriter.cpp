#include "store/CaptureRowWriter.h"

#include "store/SQLiteDatabase.h"

namespace vesk {

CaptureRowWriter::CaptureRowWriter(QString databasePath) : m_databasePath(std::move(databasePath)) {}

CaptureRowWriter::~CaptureRowWriter() = default;

bool CaptureRowWriter::write(const VeskItem& item, const std::optional<QByteArray>& rtf)
{
    if (!m_database) {
        auto opened = SQLiteDatabase::open(m_databasePath);
        if (!opened)
            return false;
        m_database = std::move(opened.value());
    }
    const auto written = m_database->updateItemWithRichText(item, rtf);
    return written.hasValue();
}

} // namespace vesk
