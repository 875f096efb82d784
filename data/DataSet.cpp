// TDataSet: states, the record window over a cursor, calculated fields, events and notifications.
#include "data/DataSet.h"

#include "core/Errors.h"
#include "data/DataCursor.h"
#include "data/DataSource.h"

#include <QScopedValueRollback>
#include <algorithm>
#include <exception>
#include <optional>

namespace data {

namespace {

// One record of the window: a value per field slot, and where the record lives in the cursor.
struct RecordBuffer {
    std::vector<FieldValue> values;
    bool stored = false;  // the record exists in the cursor (false for a pending insert)
    qint64 bookmark = -1; // valid when stored
    std::optional<qint64> insertBefore; // a pending insert: the record it stands in front of
    int recNo = -1;
};

bool isNullValue(const FieldValue& v) {
    return std::holds_alternative<std::monostate>(v) || std::holds_alternative<NotRead>(v);
}

bool typesCompatible(TFieldType declared, std::optional<TFieldType> column) {
    if (!column)
        return false;
    if (declared == *column)
        return true;
    const auto integer = [](TFieldType t) {
        return t == TFieldType::ftInteger || t == TFieldType::ftAutoInc;
    };
    return integer(declared) && integer(*column);
}

// A fetched cell coerced to the kind of value the field holds.
FieldValue coerce(FieldValue v, TFieldType type) {
    if (isNullValue(v))
        return std::monostate{};
    switch (type) {
    case TFieldType::ftWideString:
    case TFieldType::ftMemo:
        if (const auto* i = std::get_if<qint64>(&v))
            return QString::number(*i);
        if (const auto* d = std::get_if<double>(&v))
            return QString::number(*d, 'g', 15);
        if (const auto* m = std::get_if<Money>(&v))
            return m->toStorageText();
        return v;
    case TFieldType::ftBCD:
        if (const auto* d = std::get_if<double>(&v)) {
            if (auto m = Money::fromDouble(*d))
                return *m;
            return QString::number(*d, 'g', 17); // kept: displays as an overflow
        }
        if (const auto* i = std::get_if<qint64>(&v)) {
            if (auto m = Money::checkedFromUnits(*i))
                return *m;
            return QString::number(*i); // kept: displays as an overflow
        }
        if (const auto* s = std::get_if<QString>(&v)) {
            if (auto m = Money::fromStorageText(*s))
                return *m;
        }
        return v;
    case TFieldType::ftFloat:
        if (const auto* m = std::get_if<Money>(&v))
            return m->toDouble();
        if (const auto* i = std::get_if<qint64>(&v))
            return double(*i);
        return v;
    case TFieldType::ftInteger:
    case TFieldType::ftAutoInc:
        if (const auto* d = std::get_if<double>(&v))
            return qint64(*d);
        if (const auto* s = std::get_if<QString>(&v))
            return s->toLongLong();
        return v;
    case TFieldType::ftDateTime:
        return v;
    }
    return v;
}

QString fieldPart(const QString& name) {
    return name.contains(' ') ? '[' + name + ']' : name;
}

// One locate criterion: "(f_adi like 'Al*')", "(f_adi='')", "(f_adi=Null)", "(id=5)".
// Typed text is matched literally: a quote is doubled inside the single quotes, and in a prefix
// pattern every character the engine reads as a wildcard or a set ("*", "%", "?", "_", "[", "#")
// stands alone in brackets, so a customer's name is never taken for a pattern.
QString criterion(const TField& field, const QString& value, bool partial) {
    const QString name = fieldPart(field.fieldName());
    if (value.isNull())
        return '(' + name + QStringLiteral("=Null)");
    QString op = QStringLiteral("=");
    QString quote;
    QString text = value;
    switch (field.dataType()) {
    case TFieldType::ftWideString:
    case TFieldType::ftMemo: {
        const bool like = partial && !value.isEmpty();
        text.clear();
        for (QChar c : value) {
            if (c == '\'')
                text += QStringLiteral("''");
            else if (like && QStringView(u"*%?_[#").contains(c))
                text += '[' + QString(c) + ']';
            else
                text += c;
        }
        if (like) {
            op = QStringLiteral(" like ");
            text += '*';
        }
        quote = QStringLiteral("'");
        break;
    }
    case TFieldType::ftDateTime:
        quote = QStringLiteral("#");
        break;
    default:
        break;
    }
    return '(' + name + op + quote + text + quote + ')';
}

bool onRow(const DataCursor& c) {
    return !c.bof() && !c.eof();
}

// Inside a catch block of a failed post or delete: drops the cursor's pending change and raises
// the provider's message again as a database error without the set's name.
[[noreturn]] void failWrite(DataCursor& c) {
    QString message;
    try {
        throw;
    } catch (const core::Exception& e) {
        message = e.message();
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    }
    try {
        c.cancelUpdate();
    } catch (...) {
    }
    throw EDatabaseError(message);
}

// The message of the error being handled (call inside a catch block).
QString currentMessage() {
    try {
        throw;
    } catch (const core::Exception& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace

struct TDataSet::Private {
    explicit Private(TDataSet& set) : q(set) {}

    TDataSet& q;
    std::vector<std::unique_ptr<TField>> fields; // in field-list order
    int slotCount = 0;
    bool defaultFields = false; // made from the columns at open (none were declared)
    std::vector<int> columnOf;  // per slot: the cursor column, -1 for calculated fields
    std::vector<TDataSource*> sources;

    TDataSetState state = TDataSetState::dsInactive;
    bool modified = false;
    bool bof = true;
    bool eof = true;
    bool destroying = false;

    std::unique_ptr<DataCursor> cursor;
    std::unique_ptr<LookupCursor> lookup;
    std::vector<RecordBuffer> window;
    int active = 0;
    int bufferCount = 1;

    RecordBuffer* calcBuffer = nullptr; // the buffer OnCalcFields is computing
    bool calcErrorsIgnored = false;     // while rebuilding the window after a stored post
    // A row whose stored values may differ from the window's: an edit of it failed to post
    // (another workstation changed or deleted it). Cancelling that edit reads it again.
    std::optional<qint64> staleRow;
    std::vector<TField*> written; // data fields written since edit or insert began

    int disableCount = 0;
    TDataSetState disabledState = TDataSetState::dsInactive;
    TDataEvent pendingEvent = TDataEvent::deDataSetChange;

    QStringList sql;

    // A state change links see (the transient calculating state never goes through here).
    void setState(TDataSetState s) {
        if (state == s)
            return;
        state = s;
        modified = false;
        q.dataEvent(TDataEvent::deUpdateState);
    }

    void fire(const TDataSetNotifyEvent& event) {
        if (event)
            event(q);
    }

    // The calculated fields of one buffer: nulled first, then OnCalcFields, with reads and
    // writes aimed at that buffer. With asTempState the state reads "calculating" meanwhile.
    void calculate(RecordBuffer& buffer, bool asTempState) {
        if (!q.hasCalculatedFields())
            return;
        const QScopedValueRollback restoreBuffer(calcBuffer);
        const QScopedValueRollback restoreState(state);
        if (asTempState)
            state = TDataSetState::dsCalcFields;
        calcBuffer = &buffer;
        for (const auto& f : fields)
            if (f->isCalculated())
                buffer.values[std::size_t(slotOf(*f))] = std::monostate{};
        if (!calcErrorsIgnored) {
            fire(q.OnCalcFields);
            return;
        }
        try {
            fire(q.OnCalcFields);
        } catch (...) {
            // The row is shown without the calculated values it could not get.
        }
    }

    // After a post stored the row: browse state, the window read again around the posted row
    // and AfterPost. Each step runs even when one before it failed, so the set never stays in
    // edit or insert for a row the file already holds; the first failure is raised afterwards as
    // EPostedError (EAbort stays silent).
    void finishStoredPost(std::optional<qint64> posted) {
        std::exception_ptr failure;
        const auto step = [&](const std::function<void()>& f) {
            try {
                f();
            } catch (...) {
                if (!failure)
                    failure = std::current_exception();
            }
        };
        step([&] { setState(TDataSetState::dsBrowse); });
        step([&] {
            try {
                reread(false, false);
            } catch (...) {
                // Read the window again without the calculated values that failed; when even
                // that fails the window is left empty rather than holding the pending record.
                const std::exception_ptr first = std::current_exception();
                calcErrorsIgnored = true;
                try {
                    if (posted)
                        cursor->gotoBookmark(*posted);
                    reread(false, false);
                } catch (...) {
                    window.clear();
                    active = 0;
                    q.dataEvent(TDataEvent::deDataSetChange);
                }
                calcErrorsIgnored = false;
                std::rethrow_exception(first);
            }
        });
        step([&] { fire(q.AfterPost); });
        if (!failure)
            return;
        try {
            std::rethrow_exception(failure);
        } catch (const EAbort&) {
            throw;
        } catch (...) {
            throw EPostedError(currentMessage());
        }
    }

    RecordBuffer blank() const {
        RecordBuffer b;
        b.values.assign(std::size_t(slotCount), FieldValue(std::monostate{}));
        return b;
    }

    // The record the cursor stands on, with its calculated fields.
    RecordBuffer current() {
        RecordBuffer b = blank();
        for (const auto& f : fields) {
            const int column = columnOf[std::size_t(slotOf(*f))];
            if (column >= 0)
                b.values[std::size_t(slotOf(*f))] = coerce(cursor->value(column), f->dataType());
        }
        b.stored = true;
        b.bookmark = cursor->bookmark();
        b.recNo = cursor->absolutePosition();
        calculate(b, true);
        return b;
    }

    void standOn(qint64 bookmark) {
        if (onRow(*cursor) && cursor->bookmark() == bookmark)
            return;
        cursor->gotoBookmark(bookmark);
    }

    std::optional<RecordBuffer> after(const RecordBuffer& b) {
        if (b.stored) {
            standOn(b.bookmark);
            cursor->moveNext();
        } else if (b.insertBefore) {
            cursor->gotoBookmark(*b.insertBefore);
        } else {
            return std::nullopt;
        }
        if (!onRow(*cursor))
            return std::nullopt;
        return current();
    }

    std::optional<RecordBuffer> before(const RecordBuffer& b) {
        if (b.stored) {
            standOn(b.bookmark);
            cursor->movePrevious();
        } else if (b.insertBefore) {
            cursor->gotoBookmark(*b.insertBefore);
            cursor->movePrevious();
        } else {
            if (cursor->recordCount() == 0)
                return std::nullopt;
            cursor->moveLast();
        }
        if (!onRow(*cursor))
            return std::nullopt;
        return current();
    }

    void fillForward() {
        while (int(window.size()) < bufferCount) {
            auto next = after(window.back());
            if (!next)
                break;
            window.push_back(std::move(*next));
        }
    }

    // Adds up to limit records in front of the window; returns how many were added.
    int fillBackward(int limit) {
        int added = 0;
        while (added < limit && int(window.size()) < bufferCount) {
            auto prior = before(window.front());
            if (!prior)
                break;
            window.insert(window.begin(), std::move(*prior));
            ++added;
        }
        return added;
    }

    // Empties the window and fills it from the first (or last) record of the cursor.
    void fillFromEnd(bool fromLast) {
        window.clear();
        active = 0;
        if (cursor->recordCount() == 0)
            return;
        if (fromLast)
            cursor->moveLast();
        else
            cursor->moveFirst();
        if (!onRow(*cursor))
            return;
        window.push_back(current());
        if (fromLast)
            active = fillBackward(bufferCount);
        else
            fillForward();
    }

    // Puts the cursor where the active record lives (a pending insert: the record it stands
    // before, or the last record when it stands at the end).
    void cursorToActive() {
        if (window.empty())
            return;
        const RecordBuffer& b = window[std::size_t(active)];
        if (b.stored)
            cursor->gotoBookmark(b.bookmark);
        else if (b.insertBefore)
            cursor->gotoBookmark(*b.insertBefore);
        else if (cursor->recordCount() > 0)
            cursor->moveLast();
    }

    // Re-reads the window around the cursor's record, placed at the active record's old position
    // or in the middle. Exact: the cursor's own record must be readable, else "Record not
    // found"; otherwise the next and then the prior record are tried.
    void reread(bool center, bool exact) {
        std::optional<RecordBuffer> cur;
        if (onRow(*cursor)) {
            cur = current();
        } else if (exact) {
            q.raiseError(QStringLiteral("Record not found"));
        } else {
            if (!cursor->eof()) {
                cursor->moveNext();
                if (onRow(*cursor))
                    cur = current();
            }
            if (!cur && !cursor->bof() && cursor->recordCount() > 0) {
                cursor->movePrevious();
                if (onRow(*cursor))
                    cur = current();
            }
        }
        if (!cur) {
            window.clear();
            active = 0;
            bof = eof = true;
            q.dataEvent(TDataEvent::deDataSetChange);
            return;
        }
        const int want = center ? (bufferCount - 1) / 2 : std::min(active, bufferCount - 1);
        window.clear();
        window.push_back(std::move(*cur));
        bof = eof = false;
        int position = fillBackward(want);
        fillForward();
        position += fillBackward(bufferCount);
        active = position;
        q.dataEvent(TDataEvent::deDataSetChange);
    }

    // Releases everything an open set holds.
    void release() {
        window.clear();
        active = 0;
        written.clear();
        staleRow.reset();
        lookup.reset();
        cursor.reset();
        bof = eof = true;
        if (defaultFields) {
            fields.clear();
            slotCount = 0;
            defaultFields = false;
        }
    }
};

// Construction and fields -------------------------------------------------------------------

TDataSet::TDataSet(const QString& name) : d(std::make_unique<Private>(*this)), name_(name) {}

TDataSet::~TDataSet() {
    d->destroying = true;
    try {
        close();
    } catch (...) {
        // A set being destroyed has nobody left to report to.
    }
    const std::vector<TDataSource*> sources = d->sources;
    for (TDataSource* s : sources)
        s->setDataSet(nullptr);
}

TField& TDataSet::addField(const QString& fieldName, TFieldType type, TFieldKind kind) {
    // Every record buffer has a place per field, fixed while the set is open.
    if (active())
        raiseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    auto field = std::make_unique<TField>(*this, fieldName, type, kind);
    field->slot_ = d->slotCount++;
    d->fields.push_back(std::move(field));
    return *d->fields.back();
}

int TDataSet::fieldCount() const {
    return int(d->fields.size());
}

TField& TDataSet::field(int index) const {
    return *d->fields.at(std::size_t(index));
}

TField* TDataSet::findField(const QString& fieldName) const {
    for (const auto& f : d->fields)
        if (f->fieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField& TDataSet::fieldByName(const QString& fieldName) const {
    if (TField* f = findField(fieldName))
        return *f;
    raiseError(QStringLiteral("Field '%1' not found").arg(fieldName));
}

bool TDataSet::hasCalculatedFields() const {
    return std::any_of(d->fields.begin(), d->fields.end(),
                       [](const auto& f) { return f->isCalculated(); });
}

int TDataSet::fieldIndex(const TField& field) const {
    for (std::size_t i = 0; i < d->fields.size(); ++i)
        if (d->fields[i].get() == &field)
            return int(i);
    return -1;
}

void TDataSet::moveField(TField& field, int position) {
    const int from = fieldIndex(field);
    const int to = std::clamp(position, 0, fieldCount() - 1);
    if (from < 0 || from == to)
        return;
    auto owned = std::move(d->fields[std::size_t(from)]);
    d->fields.erase(d->fields.begin() + from);
    d->fields.insert(d->fields.begin() + to, std::move(owned));
    fieldDisplayChanged(true);
}

void TDataSet::fieldDisplayChanged(bool listOrderChanged) {
    if (!active())
        return;
    if (listOrderChanged)
        dataEvent(TDataEvent::deFieldListChange);
    dataEvent(TDataEvent::deLayoutChange);
}

DataCursor* TDataSet::cursor() const {
    return d->cursor.get();
}

void TDataSet::raiseError(const QString& message) const {
    throw EDatabaseError(name_.isEmpty() ? message : name_ + QStringLiteral(": ") + message);
}

TDataSetState TDataSet::state() const {
    return d->state;
}

bool TDataSet::modified() const {
    return d->modified;
}

bool TDataSet::bof() const {
    return d->bof;
}

bool TDataSet::eof() const {
    return d->eof;
}

bool TDataSet::isEmpty() const {
    return d->window.empty();
}

bool TDataSet::isSequenced() const {
    return d->cursor && d->cursor->isSequenced();
}

bool TDataSet::canModify() const {
    return d->cursor && d->cursor->canModify();
}

// The internal machinery ----------------------------------------------------------------------

const FieldValue* TDataSet::readSlot(const TField& field) const {
    if (d->state == TDataSetState::dsInactive)
        return nullptr;
    const RecordBuffer* b = d->calcBuffer;
    if (!b) {
        if (d->window.empty())
            return nullptr;
        b = &d->window[std::size_t(d->active)];
    }
    return &b->values[std::size_t(slotOf(field))];
}

void TDataSet::writeField(TField& field, const FieldValue& value) {
    const TDataSetState s = d->state;
    if (!isEditing(s) && s != TDataSetState::dsCalcFields)
        raiseError(QStringLiteral("Dataset not in edit or insert mode"));
    if (!field.isCalculated()) {
        if (field.readOnly())
            throw EDatabaseError(
                QStringLiteral("Field '%1' cannot be modified").arg(field.displayName()));
        if (std::find(d->written.begin(), d->written.end(), &field) == d->written.end())
            d->written.push_back(&field);
    }
    RecordBuffer* b = d->calcBuffer;
    if (!b) {
        if (d->window.empty())
            raiseError(QStringLiteral("Dataset not in edit or insert mode"));
        b = &d->window[std::size_t(d->active)];
    }
    b->values[std::size_t(slotOf(field))] = value;
    if (s == TDataSetState::dsCalcFields)
        return;
    dataEvent(TDataEvent::deFieldChange, {.field = &field});
    if (!field.isCalculated()) {
        d->modified = true;
        // A data field written by OnCalcFields itself must not start another computation.
        if (autoCalcFields && !d->calcBuffer)
            d->calculate(d->window[std::size_t(d->active)], false);
    }
}

// Operations --------------------------------------------------------------------------------

void TDataSet::open() {
    if (active())
        return;
    d->fire(BeforeOpen);
    try {
        d->cursor = openCursor();
        bindFields();
        d->fillFromEnd(false);
        d->bof = true;
        d->eof = d->window.empty();
    } catch (...) {
        d->state = TDataSetState::dsInactive;
        d->release();
        throw;
    }
    d->setState(TDataSetState::dsBrowse);
    d->fire(AfterOpen);
    if (!isEmpty())
        d->fire(AfterScroll);
}

void TDataSet::bindFields() {
    const DataCursor& c = *d->cursor;
    if (d->fields.empty()) {
        // Nothing declared: one field per column, for the time the set is open.
        for (int i = 0; i < c.columnCount(); ++i) {
            const CursorColumn col = c.column(i);
            if (col.type)
                addField(col.name, *col.type);
        }
        d->defaultFields = true;
    }
    d->columnOf.assign(std::size_t(d->slotCount), -1);
    for (const auto& f : d->fields) {
        if (f->isCalculated())
            continue;
        int column = -1;
        for (int i = 0; i < c.columnCount() && column < 0; ++i)
            if (c.column(i).name.compare(f->fieldName(), Qt::CaseInsensitive) == 0)
                column = i;
        if (column < 0)
            raiseError(QStringLiteral("Field '%1' not found").arg(f->displayName()));
        const CursorColumn col = c.column(column);
        if (!typesCompatible(f->dataType(), col.type))
            raiseError(
                QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                    .arg(f->displayName(), TField::typeName(f->dataType()),
                         col.type ? TField::typeName(*col.type) : QStringLiteral("Unknown")));
        d->columnOf[std::size_t(slotOf(*f))] = column;
    }
}

void TDataSet::close() {
    if (!active())
        return;
    if (!d->destroying)
        d->fire(BeforeClose);
    d->setState(TDataSetState::dsInactive);
    d->release();
    if (!d->destroying)
        d->fire(AfterClose);
}

void TDataSet::checkBrowseMode() {
    if (!active())
        raiseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    dataEvent(TDataEvent::deCheckBrowseMode);
    if (isEditing(d->state)) {
        dataEvent(TDataEvent::deUpdateRecord);
        if (d->modified)
            post();
        else
            cancel();
    }
}

void TDataSet::first() {
    checkBrowseMode();
    d->fire(BeforeScroll);
    d->fillFromEnd(false);
    d->bof = true;
    d->eof = d->window.empty();
    dataEvent(TDataEvent::deDataSetChange);
    d->fire(AfterScroll);
}

void TDataSet::last() {
    checkBrowseMode();
    d->fire(BeforeScroll);
    d->fillFromEnd(true);
    d->bof = d->window.empty();
    d->eof = true;
    dataEvent(TDataEvent::deDataSetChange);
    d->fire(AfterScroll);
}

void TDataSet::next() {
    moveBy(1);
}

void TDataSet::prior() {
    moveBy(-1);
}

int TDataSet::moveBy(int distance) {
    checkBrowseMode();
    d->fire(BeforeScroll);
    if ((distance > 0 && d->eof) || (distance < 0 && d->bof) || distance == 0)
        return 0;
    d->bof = d->eof = false;
    std::vector<RecordBuffer>& w = d->window;
    const std::size_t oldCount = w.size();
    int shift = 0; // window positions the kept records moved by
    int steps = 0;
    for (int i = 0; i < std::abs(distance); ++i) {
        if (distance > 0) {
            if (d->active < int(w.size()) - 1) {
                ++d->active;
            } else {
                auto next = w.empty() ? std::nullopt : d->after(w.back());
                if (!next) {
                    d->eof = true;
                    break;
                }
                w.push_back(std::move(*next));
                if (int(w.size()) > d->bufferCount) {
                    w.erase(w.begin());
                    --shift;
                }
                d->active = int(w.size()) - 1;
            }
            ++steps;
        } else {
            if (d->active > 0) {
                --d->active;
            } else {
                auto prior = w.empty() ? std::nullopt : d->before(w.front());
                if (!prior) {
                    d->bof = true;
                    break;
                }
                w.insert(w.begin(), std::move(*prior));
                if (int(w.size()) > d->bufferCount) {
                    w.pop_back();
                    ++shift;
                }
                d->active = 0;
            }
            --steps;
        }
    }
    if (w.size() == oldCount)
        dataEvent(TDataEvent::deDataSetScroll, {.shift = shift});
    else
        dataEvent(TDataEvent::deDataSetChange);
    d->fire(AfterScroll);
    return steps;
}

FieldValue TRecordValues::operator[](std::size_t i) const {
    const int column = columns_[i];
    if (column < 0)
        return std::monostate{};
    return coerce(cursor_.value(column), types_[i]);
}

void TDataSet::readRecords(const std::vector<const TField*>& fields,
                           const std::function<void(const TRecordValues& record)>& visit) const {
    if (!active())
        raiseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    std::vector<int> columns;
    std::vector<TFieldType> types;
    for (const TField* f : fields) {
        if (&f->dataSet() != this)
            raiseError(QStringLiteral("Field '%1' not found").arg(f->fieldName()));
        columns.push_back(d->columnOf[std::size_t(slotOf(*f))]);
        types.push_back(f->dataType());
    }
    const std::unique_ptr<LookupCursor> copy = d->cursor->lookupCopy();
    const TRecordValues record(*copy, columns, types);
    for (; !copy->eof(); copy->moveNext())
        visit(record);
}

int TDataSet::recordCount() const {
    if (!active())
        raiseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    return d->cursor->recordCount();
}

void TDataSet::insert() {
    checkBrowseMode();
    if (!canModify())
        raiseError(QStringLiteral("Cannot modify a read-only dataset"));
    d->fire(BeforeInsert);
    d->fire(BeforeScroll);
    std::vector<RecordBuffer>& w = d->window;
    RecordBuffer blank = d->blank();
    // The blank record in front of the current one, which moves down with those after it.
    if (!w.empty()) {
        const RecordBuffer& cur = w[std::size_t(d->active)];
        blank.insertBefore = cur.stored ? std::optional<qint64>(cur.bookmark) : cur.insertBefore;
    }
    w.insert(w.begin() + d->active, std::move(blank));
    if (int(w.size()) > d->bufferCount)
        w.pop_back();
    d->setState(TDataSetState::dsInsert);
    d->written.clear();
    try {
        d->fire(OnNewRecord);
    } catch (...) {
        d->cursorToActive();
        w.erase(w.begin() + d->active);
        d->active = std::clamp(d->active, 0, std::max(0, int(w.size()) - 1));
        d->setState(TDataSetState::dsBrowse);
        d->reread(false, false);
        throw;
    }
    d->modified = false;
    dataEvent(TDataEvent::deDataSetChange);
    d->fire(AfterInsert);
    d->fire(AfterScroll);
}

void TDataSet::edit() {
    if (isEditing(d->state))
        return;
    if (isEmpty()) {
        insert();
        return;
    }
    checkBrowseMode();
    if (!canModify())
        raiseError(QStringLiteral("Cannot modify a read-only dataset"));
    d->fire(BeforeEdit);
    d->written.clear();
    d->calculate(d->window[std::size_t(d->active)], true);
    d->setState(TDataSetState::dsEdit);
    dataEvent(TDataEvent::deRecordChange);
    d->fire(AfterEdit);
}

void TDataSet::post() {
    if (!isEditing(d->state))
        raiseError(QStringLiteral("Dataset not in edit or insert mode"));
    dataEvent(TDataEvent::deUpdateRecord);
    dataEvent(TDataEvent::deCheckBrowseMode);
    d->fire(BeforePost);

    const RecordBuffer& b = d->window[std::size_t(d->active)];
    for (const auto& f : d->fields)
        if (!f->isCalculated() && f->required() && !f->readOnly() &&
            isNullValue(b.values[std::size_t(slotOf(*f))]))
            throw EDatabaseError(
                QStringLiteral("Field '%1' must have a value").arg(f->displayName()));
    DataCursor& c = *d->cursor;
    const std::optional<qint64> editedRow =
        d->state == TDataSetState::dsEdit ? std::optional<qint64>(b.bookmark) : std::nullopt;
    try {
        if (d->state == TDataSetState::dsInsert) {
            c.addNew();
        } else {
            c.gotoBookmark(b.bookmark);
        }
        for (TField* f : d->written) {
            const FieldValue& v = b.values[std::size_t(slotOf(*f))];
            const int column = d->columnOf[std::size_t(slotOf(*f))];
            if (std::holds_alternative<NotRead>(v) || column < 0 || !c.column(column).updatable)
                continue;
            c.setValue(column, v);
        }
        if (c.updatePending())
            c.update();
    } catch (...) {
        if (editedRow)
            d->staleRow = editedRow;
        failWrite(c);
    }
    if (editedRow && d->staleRow == editedRow)
        d->staleRow.reset(); // the row was just written and read back
    std::optional<qint64> posted;
    try {
        if (c.eof() && !c.bof())
            c.movePrevious();
        if (onRow(c))
            posted = c.bookmark();
    } catch (...) {
    }
    d->finishStoredPost(posted);
}

EPostedError::EPostedError(const QString& cause)
    : EDatabaseError(QStringLiteral("Kayıt kaydedildi, ancak ardından bir hata oluştu: ") + cause),
      cause_(cause) {}

void TDataSet::cancel() {
    if (!isEditing(d->state))
        return;
    const bool wasInsert = d->state == TDataSetState::dsInsert;
    dataEvent(TDataEvent::deCheckBrowseMode);
    d->fire(BeforeCancel);
    if (wasInsert)
        d->fire(BeforeScroll);
    DataCursor& c = *d->cursor;
    if (c.updatePending())
        c.cancelUpdate();
    d->cursorToActive();
    if (!wasInsert && d->staleRow && onRow(c) && c.bookmark() == *d->staleRow) {
        // The edit failed against a changed row: show what the file holds now, so the user sees
        // the other change before editing again. A file that cannot be read just now keeps the
        // row marked for the next cancel.
        try {
            c.refreshCurrent();
            d->staleRow.reset();
        } catch (...) {
        }
    }
    d->setState(TDataSetState::dsBrowse);
    d->reread(false, false);
    d->fire(AfterCancel);
    if (wasInsert)
        d->fire(AfterScroll);
}

void TDataSet::remove() {
    if (!active())
        raiseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (d->state == TDataSetState::dsInsert) {
        cancel();
        return;
    }
    if (isEmpty())
        raiseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    dataEvent(TDataEvent::deCheckBrowseMode);
    d->fire(BeforeDelete);
    d->fire(BeforeScroll);
    DataCursor& c = *d->cursor;
    try {
        c.gotoBookmark(d->window[std::size_t(d->active)].bookmark);
        c.deleteCurrent(); // leaves the cursor on the row after the deleted one
    } catch (...) {
        failWrite(c);
    }
    d->setState(TDataSetState::dsBrowse);
    d->reread(false, false);
    d->fire(AfterDelete);
    d->fire(AfterScroll);
}

bool TDataSet::locate(const QString& keyFields, const QStringList& keyValues, int options) {
    d->fire(BeforeScroll);
    checkBrowseMode();
    bool found = false;
    try {
        if (!d->lookup)
            d->lookup = d->cursor->lookupCopy();
        LookupCursor& copy = *d->lookup;
        std::vector<TField*> keys;
        QStringList names;
        for (const QString& part : keyFields.split(';')) {
            TField* f = findField(part.trimmed());
            if (!f)
                throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(part));
            keys.push_back(f);
            names << fieldPart(f->fieldName());
        }
        if (keyValues.isEmpty() || (keys.size() > 1 && keyValues.size() != qsizetype(keys.size())))
            throw EDatabaseError(QStringLiteral("Key values do not match the key fields"));
        const QString sortText = names.join(',');
        if (copy.sort() != sortText)
            copy.setSort(sortText);
        copy.setFilter(QString());
        const bool partial = options & int(TLocateOption::loPartialKey);
        QStringList criteria;
        for (std::size_t i = 0; i < keys.size(); ++i)
            criteria << criterion(*keys[i], keyValues[qsizetype(i)],
                                  partial && i + 1 == keys.size());
        if (keys.size() == 1) {
            found = copy.find(criteria.front()) && !copy.eof();
        } else {
            copy.setFilter(criteria.join(QStringLiteral(" AND ")));
            found = !copy.eof();
        }
        if (found) {
            d->cursor->gotoBookmark(copy.bookmark());
            found = onRow(*d->cursor);
        }
    } catch (const EOleException&) {
        found = false; // a locate that cannot be carried out simply finds nothing
    } catch (const EDatabaseError&) {
        found = false;
    }
    if (!found)
        return false;
    d->reread(true, true);
    d->fire(AfterScroll);
    return true;
}

int TDataSet::recNo() const {
    if (!active())
        raiseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (d->calcBuffer)
        return d->calcBuffer->stored ? d->calcBuffer->recNo : -1;
    if (d->state == TDataSetState::dsInsert || d->window.empty())
        return -1;
    return d->window[std::size_t(d->active)].recNo;
}

void TDataSet::setRecNo(int value) {
    if (value == recNo())
        return;
    d->fire(BeforeScroll);
    d->cursor->setAbsolutePosition(value);
    d->reread(true, false);
    d->fire(AfterScroll);
}

void TDataSet::resync() {
    if (!active())
        raiseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    d->cursorToActive();
    d->reread(false, false);
}

bool TDataSet::refreshRecords(const std::vector<qint64>& keys) {
    return showRefreshed([&] { return d->cursor->refreshRows(keys); });
}

bool TDataSet::refreshAll() {
    return showRefreshed([&] {
        const cursor::Recordset::Refreshed r = d->cursor->requery();
        d->lookup.reset(); // it holds the rows read before
        return r;
    });
}

bool TDataSet::showRefreshed(const std::function<cursor::Recordset::Refreshed()>& read) {
    if (!active())
        return true;
    if (d->state != TDataSetState::dsBrowse)
        return false;
    const bool wasEmpty = isEmpty();
    d->cursorToActive();
    const cursor::Recordset::Refreshed r = read();
    if (!r.any())
        return true;
    d->reread(false, false);
    if (r.currentLeft || wasEmpty != isEmpty())
        d->fire(AfterScroll);
    return true;
}

// SQL text -----------------------------------------------------------------------------------

const QStringList& TDataSet::sql() const {
    return d->sql;
}

// Every change of the text closes the set first: a pending edit is dropped without post or cancel.
void TDataSet::setSql(const QStringList& lines) {
    close();
    d->sql = lines;
}

void TDataSet::clearSql() {
    close();
    d->sql.clear();
}

void TDataSet::addSql(const QString& line) {
    close();
    d->sql.append(line);
}

QString TDataSet::commandText() const {
    QString text;
    for (const QString& line : d->sql)
        text += line + QStringLiteral("\r\n");
    return text;
}

// Notifications ------------------------------------------------------------------------------

void TDataSet::disableControls() {
    if (d->disableCount++ == 0) {
        d->disabledState = d->state;
        d->pendingEvent = TDataEvent::deDataSetChange;
    }
}

void TDataSet::enableControls() {
    if (d->disableCount == 0)
        return;
    if (--d->disableCount > 0)
        return;
    if (d->state != d->disabledState)
        dataEvent(TDataEvent::deUpdateState);
    if (d->disabledState != TDataSetState::dsInactive && active())
        dataEvent(d->pendingEvent);
}

void TDataSet::dataEvent(TDataEvent event, const TDataEventInfo& info) {
    if (d->disableCount == 0) {
        const std::vector<TDataSource*> sources = d->sources;
        for (TDataSource* s : sources)
            if (std::find(d->sources.begin(), d->sources.end(), s) != d->sources.end())
                s->notify(event, info);
    } else if (event == TDataEvent::deUpdateState) {
        const TDataEventInfo state{.active = active()};
        const std::vector<TDataSource*> sources = d->sources;
        for (TDataSource* s : sources)
            s->notify(TDataEvent::deDisabledStateChange, state);
    } else if (event == TDataEvent::deLayoutChange) {
        d->pendingEvent = TDataEvent::deLayoutChange;
    }
}

void TDataSet::attachDataSource(TDataSource* source) {
    if (std::find(d->sources.begin(), d->sources.end(), source) == d->sources.end())
        d->sources.push_back(source);
    updateBufferCount();
}

void TDataSet::detachDataSource(TDataSource* source) {
    d->sources.erase(std::remove(d->sources.begin(), d->sources.end(), source), d->sources.end());
    updateBufferCount();
}

// Record window ------------------------------------------------------------------------------

int TDataSet::bufferCount() const {
    return d->bufferCount;
}

int TDataSet::windowRecordCount() const {
    return active() ? int(d->window.size()) : 0;
}

int TDataSet::activeRecord() const {
    return d->active;
}

void TDataSet::setActiveRecord(int position) {
    if (position >= 0 && position < int(d->window.size()))
        d->active = position;
}

qint64 TDataSet::windowBookmark(int position) const {
    if (position < 0 || position >= int(d->window.size()))
        return -1;
    const RecordBuffer& b = d->window[std::size_t(position)];
    return b.stored ? b.bookmark : -1;
}

void TDataSet::updateBufferCount() {
    int n = 1;
    for (TDataSource* s : d->sources)
        for (TDataLink* l : s->links())
            n = std::max(n, l->bufferCount());
    int shift = 0;
    if (n != d->bufferCount) {
        d->bufferCount = n;
        if (active() && d->cursor && !d->window.empty()) {
            // Shrinking drops records after the current one first, then in front of it.
            while (int(d->window.size()) > n) {
                if (d->active < int(d->window.size()) - 1) {
                    d->window.pop_back();
                } else {
                    d->window.erase(d->window.begin());
                    --d->active;
                    --shift;
                }
            }
            d->fillForward();
            const int added = d->fillBackward(n);
            d->active += added;
            shift += added;
        }
    }
    if (!active())
        return;
    for (TDataSource* s : d->sources)
        for (TDataLink* l : s->links())
            l->keepInWindow(shift);
}

} // namespace data
