// A small recursive-descent reader for criteria and a splitter for sort texts.
#include "engine/CursorCriteria.h"

#include "core/Errors.h"

#include <QStringList>

namespace cursor {

namespace {

class CriteriaReader {
public:
    explicit CriteriaReader(const QString& text) : text_(text) {}

    std::vector<Criterion> readAll() {
        std::vector<Criterion> result;
        skipBlanks();
        if (atEnd())
            fail(QStringLiteral("the criterion is empty"));
        for (;;) {
            result.push_back(readCriterion());
            skipBlanks();
            if (atEnd())
                return result;
            if (!readKeyword(u"and"))
                fail(QStringLiteral("expected AND after a comparison"));
        }
    }

private:
    [[noreturn]] void fail(const QString& reason) const {
        throw EOleException(QStringLiteral("Invalid criterion \"%1\": %2").arg(text_, reason));
    }

    bool atEnd() const { return pos_ >= text_.size(); }
    QChar peek() const { return atEnd() ? QChar() : text_[pos_]; }
    void skipBlanks() {
        while (!atEnd() && text_[pos_].isSpace())
            ++pos_;
    }

    // A keyword followed by a blank, a parenthesis, a quote or "#"; consumed when present.
    bool readKeyword(std::u16string_view word) {
        const qsizetype n = qsizetype(word.size());
        if (pos_ + n > text_.size())
            return false;
        for (qsizetype i = 0; i < n; ++i)
            if (text_[pos_ + i].toLower().unicode() != word[std::size_t(i)])
                return false;
        if (pos_ + n < text_.size()) {
            const QChar next = text_[pos_ + n];
            if (!next.isSpace() && next != '(' && next != '\'' && next != '#')
                return false;
        }
        pos_ += n;
        skipBlanks();
        return true;
    }

    Criterion readCriterion() {
        skipBlanks();
        if (peek() == '(') {
            ++pos_;
            Criterion c = readCriterion();
            skipBlanks();
            if (peek() != ')')
                fail(QStringLiteral("expected \")\""));
            ++pos_;
            return c;
        }
        Criterion c;
        c.field = readField();
        skipBlanks();
        c.op = readOperator();
        skipBlanks();
        readValue(c);
        return c;
    }

    QString readField() {
        if (peek() == '[') {
            const qsizetype close = text_.indexOf(']', pos_ + 1);
            if (close < 0)
                fail(QStringLiteral("a field name in brackets lacks its \"]\""));
            QString name = text_.mid(pos_ + 1, close - pos_ - 1).trimmed();
            pos_ = close + 1;
            if (name.isEmpty())
                fail(QStringLiteral("the field name is empty"));
            return name;
        }
        const qsizetype start = pos_;
        while (!atEnd() && (text_[pos_].isLetterOrNumber() || text_[pos_] == '_' ||
                            text_[pos_] == '.' || text_[pos_] == '$'))
            ++pos_;
        if (pos_ == start)
            fail(QStringLiteral("expected a field name"));
        return text_.mid(start, pos_ - start);
    }

    CompareOp readOperator() {
        const QChar c = peek();
        const QChar next = pos_ + 1 < text_.size() ? text_[pos_ + 1] : QChar();
        if (c == '=') {
            ++pos_;
            return CompareOp::Equal;
        }
        if (c == '<') {
            pos_ += (next == '>' || next == '=') ? 2 : 1;
            return next == '>' ? CompareOp::NotEqual
                               : (next == '=' ? CompareOp::LessEqual : CompareOp::Less);
        }
        if (c == '>') {
            pos_ += next == '=' ? 2 : 1;
            return next == '=' ? CompareOp::GreaterEqual : CompareOp::Greater;
        }
        if (readKeyword(u"like"))
            return CompareOp::Like;
        fail(QStringLiteral("expected an operator (=, <>, <, <=, >, >= or LIKE)"));
    }

    void readValue(Criterion& c) {
        const QChar open = peek();
        if (open == '\'') {
            c.kind = Criterion::ValueKind::Quoted;
            ++pos_;
            for (;;) {
                if (atEnd())
                    fail(QStringLiteral("a quoted value lacks its closing quote"));
                const QChar ch = text_[pos_++];
                if (ch != '\'') {
                    c.value += ch;
                } else if (peek() == '\'') {
                    c.value += ch;
                    ++pos_;
                } else {
                    return;
                }
            }
        }
        if (open == '#') {
            const qsizetype close = text_.indexOf('#', pos_ + 1);
            if (close < 0)
                fail(QStringLiteral("a value in \"#\" lacks its closing \"#\""));
            c.kind = Criterion::ValueKind::Hashed;
            c.value = text_.mid(pos_ + 1, close - pos_ - 1);
            pos_ = close + 1;
            return;
        }
        const qsizetype start = pos_;
        while (!atEnd() && !text_[pos_].isSpace() && text_[pos_] != ')')
            ++pos_;
        c.value = text_.mid(start, pos_ - start);
        if (c.value.isEmpty())
            fail(QStringLiteral("expected a value"));
        c.kind = c.value.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0
                     ? Criterion::ValueKind::Null
                     : Criterion::ValueKind::Bare;
        if (c.kind == Criterion::ValueKind::Null)
            c.value.clear();
    }

    const QString& text_;
    qsizetype pos_ = 0;
};

} // namespace

std::vector<Criterion> parseCriteria(const QString& text) {
    return CriteriaReader(text).readAll();
}

std::vector<SortColumn> parseSort(const QString& text) {
    std::vector<SortColumn> result;
    if (text.trimmed().isEmpty())
        return result;
    // Split at commas outside brackets.
    QStringList parts;
    QString current;
    bool inBracket = false;
    for (QChar c : text) {
        if (c == '[')
            inBracket = true;
        else if (c == ']')
            inBracket = false;
        if (c == ',' && !inBracket) {
            parts << current;
            current.clear();
        } else {
            current += c;
        }
    }
    parts << current;
    for (QString part : parts) {
        part = part.trimmed();
        SortColumn column;
        if (part.endsWith(QLatin1String(" desc"), Qt::CaseInsensitive)) {
            column.descending = true;
            part.chop(5);
        } else if (part.endsWith(QLatin1String(" asc"), Qt::CaseInsensitive)) {
            part.chop(4);
        }
        part = part.trimmed();
        if (part.startsWith('[') && part.endsWith(']'))
            part = part.mid(1, part.size() - 2).trimmed();
        if (part.isEmpty())
            throw EOleException(QStringLiteral("Invalid sort text \"%1\"").arg(text));
        column.field = part;
        result.push_back(column);
    }
    return result;
}

} // namespace cursor
