#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

/// Comma-separated records as spreadsheets and text editors read them: a
/// field holding a comma, a double quote, CR or LF is written in double
/// quotes with its quotes doubled; every record ends with CR LF.
///
/// The reader is lenient with text written by hand or by older programs
/// that never quoted: a field that does not open with a double quote, or
/// whose quotes are not closed right before a comma or a line end, is taken
/// as it stands up to the next comma or line end.
namespace CsvRecords {

/// One field as written, quoted only when it must be.
QString field(const QString &text);

/// The fields joined by commas, followed by CR LF.
QString line(const QStringList &fields);

/// Reads records one after another from a text.
class Reader
{
public:
    explicit Reader(QStringView text);

    /// No record is left.
    bool atEnd() const { return m_pos >= m_text.size(); }

    /// The next record; an empty line gives one empty field. A record ends
    /// at CR LF, at a lone LF or CR, or at the end of the text.
    QStringList next();

    /// Whether a field of the last record read was quoted.
    bool lastWasQuoted() const { return m_quoted; }

private:
    std::optional<QString> quotedField();

    QStringView m_text;
    qsizetype m_pos = 0;
    bool m_quoted = false;
};

} // namespace CsvRecords
