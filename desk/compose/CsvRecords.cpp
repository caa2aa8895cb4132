#include "CsvRecords.h"

namespace CsvRecords {

namespace {

bool isLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

} // namespace

QString field(const QString &text)
{
    const bool mustQuote = text.contains(u',') || text.contains(u'"') || text.contains(u'\r') || text.contains(u'\n');
    if (!mustQuote)
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString line(const QStringList &fields)
{
    QString joined;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            joined += u',';
        joined += field(fields.at(i));
    }
    return joined + QStringLiteral("\r\n");
}

Reader::Reader(QStringView text)
    : m_text(text)
{
}

std::optional<QString> Reader::quotedField()
{
    // m_pos is on the opening quote.
    QString value;
    qsizetype pos = m_pos + 1;
    while (pos < m_text.size()) {
        const QChar c = m_text[pos];
        if (c != u'"') {
            value += c;
            ++pos;
            continue;
        }
        if (pos + 1 < m_text.size() && m_text[pos + 1] == u'"') {
            value += u'"';
            pos += 2;
            continue;
        }
        // The closing quote counts only right before a comma, a line end
        // or the end; anything else means the quote was part of the text.
        ++pos;
        if (pos < m_text.size() && m_text[pos] != u',' && !isLineEnd(m_text[pos]))
            return std::nullopt;
        m_pos = pos;
        return value;
    }
    return std::nullopt; // never closed
}

QStringList Reader::next()
{
    QStringList record;
    m_quoted = false;
    const qsizetype size = m_text.size();
    while (true) {
        std::optional<QString> value;
        if (m_pos < size && m_text[m_pos] == u'"') {
            value = quotedField();
            m_quoted = m_quoted || value.has_value();
        }
        if (!value) {
            // Unquoted, or a quote that did not close a field: the text as
            // it stands, up to the next comma or line end.
            const qsizetype start = m_pos;
            while (m_pos < size && m_text[m_pos] != u',' && !isLineEnd(m_text[m_pos]))
                ++m_pos;
            value = m_text.mid(start, m_pos - start).toString();
        }
        record << *value;
        if (m_pos < size && m_text[m_pos] == u',') {
            ++m_pos;
            continue;
        }
        if (m_pos < size) {
            const bool crLf = m_text[m_pos] == u'\r' && m_pos + 1 < size && m_text[m_pos + 1] == u'\n';
            m_pos += crLf ? 2 : 1;
        }
        return record;
    }
}

} // namespace CsvRecords
