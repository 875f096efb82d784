// TDataSet: states, events, calculated fields and notifications over a recordset and its window.
#include "data/DataSet.h"

#include "core/Errors.h"
#include "data/DataSource.h"
#include "data/RecordWindow.h"

#include <QScopedValueRollback>
#include <QVarLengthArray>
#include <algorithm>
#include <exception>
#include <optional>

namespace data {

namespace {

std::optional<TFieldType> fieldTypeOf(cursor::ColumnType type) {
    switch (type) {
    case cursor::ColumnType::Integer:
        return TFieldType::ftInteger;
    case cursor::ColumnType::AutoIncrement:
        return TFieldType::ftAutoInc;
    case cursor::ColumnType::Text:
        return TFieldType::ftWideString;
    case cursor::ColumnType::Memo:
        return TFieldType::ftMemo;
    case cursor::ColumnType::DateTime:
        return TFieldType::ftDateTime;
    case cursor::ColumnType::Currency:
        return TFieldType::ftBCD;
    case cursor::ColumnType::Float:
        return TFieldType::ftFloat;
    case cursor::ColumnType::Other:
        break;
    }
    return std::nullopt;
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

QString fieldPart(const QString& name) {
    return name.contains(' ') ? '[' + name + ']' : name;
}

// One locate criterion. Typed text is matched literally: a prefix search takes every character
// as itself, so a customer's name is never taken for a pattern.
cursor::Criterion criterion(const TField& field, const QString& value, bool partial) {
    using Kind = cursor::Criterion::ValueKind;
    cursor::Criterion c{field.fieldName(), cursor::CompareOp::Equal, Kind::Bare, value};
    if (value.isNull()) {
        c.kind = Kind::Null;
        return c;
    }
    switch (field.dataType()) {
    case TFieldType::ftWideString:
    case TFieldType::ftMemo:
        c.kind = Kind::Quoted;
        if (partial && !value.isEmpty())
            c.op = cursor::CompareOp::BeginsWith;
        break;
    case TFieldType::ftDateTime:
        c.kind = Kind::Hashed;
        break;
    default:
        break;
    }
    return c;
}

bool onRow(const cursor::Recordset& rs) {
    return !rs.bof() && !rs.eof();
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

// Inside a catch block of a failed post or delete: drops the recordset's pending change and
// raises the provider's message again as a database error without the set's name.
[[noreturn]] void failWrite(cursor::Recordset& rs) {
    const QString message = currentMessage();
    try {
        rs.cancelUpdate();
    } catch (...) {
    }
    throw EDatabaseError(message);
}

// Runs one step of the work after a stored post; the first failure is kept for later.
void runStep(std::exception_ptr& failure, const std::function<void()>& step) {
    try {
        step();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
}

} // namespace

struct TDataSet::Private {
    explicit Private(TDataSet& set) : q(set) {}

    TDataSet& q;
    std::vector<std::unique_ptr<TField>> fields; // in field-list order
    int slotCount = 0;
    bool defaultFields = false; // made from the columns at open (none were declared)
    std::vector<int> columnOf;  // per slot: the recordset column, -1 for calculated fields
    // Taken from the fields when the set opens (they stay as they are while it is open): the
    // slots of the calculated fields, and a bit per slot of a stored field while they fit in 64.
    std::vector<int> calcSlots;
    std::optional<std::uint64_t> storedSlots;
    std::vector<TDataSource*> sources;

    TDataSetState state = TDataSetState::dsInactive;
    bool modified = false;
    bool destroying = false;

    cursor::Recordset recordset; // open while the set is
    std::unique_ptr<cursor::Recordset> lookup;
    RecordWindow window;

    RecordBuffer* calcBuffer = nullptr; // the buffer OnCalcFields is computing
    std::uint64_t decoded = 0;          // stored values decoded from rows since the set opened
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
        if (calcSlots.empty())
            return;
        const QScopedValueRollback restoreBuffer(calcBuffer);
        const QScopedValueRollback restoreState(state);
        if (asTempState)
            state = TDataSetState::dsCalcFields;
        calcBuffer = &buffer;
        for (const int slot : calcSlots)
            slotToWrite(buffer, slot) = std::monostate{};
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
        runStep(failure, [&] { setState(TDataSetState::dsBrowse); });
        runStep(failure, [&] { rereadAfterPost(posted); });
        runStep(failure, [&] { fire(q.AfterPost); });
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

    // Reads the window again around the posted row. When that fails, the window is read without
    // the calculated values that failed, or left empty rather than holding the pending record
    // when even that fails; the first failure is raised.
    void rereadAfterPost(std::optional<qint64> posted) {
        std::exception_ptr first;
        try {
            reread(RecordWindow::Placement::KeepPosition, false);
            return;
        } catch (...) {
            first = std::current_exception();
        }
        if (!rereadIgnoringCalcErrors(posted)) {
            window.clear();
            q.dataEvent(TDataEvent::deDataSetChange);
        }
        std::rethrow_exception(first);
    }

    bool rereadIgnoringCalcErrors(std::optional<qint64> posted) {
        const QScopedValueRollback ignore(calcErrorsIgnored, true);
        try {
            if (posted)
                recordset.gotoBookmark(*posted);
            reread(RecordWindow::Placement::KeepPosition, false);
            return true;
        } catch (...) {
            return false;
        }
    }

    // A slot's value in a buffer, decoded from the buffer's cells on first use.
    cursor::Value& valueOf(RecordBuffer& b, int slot) {
        cursor::Value& v = b.values[std::size_t(slot)];
        const std::uint64_t bit = std::uint64_t(1) << slot;
        if (slot < 64 && (b.undecoded & bit)) {
            b.undecoded &= ~bit;
            v = b.cells.value(columnOf[std::size_t(slot)]);
            ++decoded;
        }
        return v;
    }
    // A slot about to be written: what it held before does not matter.
    cursor::Value& slotToWrite(RecordBuffer& b, int slot) {
        if (slot < 64)
            b.undecoded &= ~(std::uint64_t(1) << slot);
        return b.values[std::size_t(slot)];
    }

    RecordBuffer blank() const {
        RecordBuffer b;
        b.values.assign(std::size_t(slotCount), cursor::Value(std::monostate{}));
        return b;
    }

    // The record the recordset stands on, with its calculated fields. Its stored values are
    // decoded from the row's cells when first asked for (valueOf); when the cells cannot be kept
    // (a pending change, more slots than the mask holds) they are all decoded now.
    RecordBuffer read() {
        RecordBuffer b = blank();
        b.cells = recordset.rowCells();
        if (!b.cells.empty() && storedSlots) {
            b.undecoded = *storedSlots;
        } else {
            for (std::size_t slot = 0; slot < columnOf.size(); ++slot) {
                if (columnOf[slot] < 0)
                    continue;
                b.values[slot] = recordset.value(columnOf[slot]);
                ++decoded;
            }
        }
        b.stored = true;
        b.bookmark = recordset.bookmark();
        b.recNo = recordset.absolutePosition();
        calculate(b, true);
        return b;
    }

    // Re-reads the window around the recordset's row (see RecordWindow::reread) and tells the
    // links. Exact: the recordset's own row must be readable, else "Record not found".
    void reread(RecordWindow::Placement placement, bool exact) {
        if (window.reread(placement, exact) == RecordWindow::Reread::NotFound)
            q.raiseError(QStringLiteral("Record not found"));
        q.dataEvent(TDataEvent::deDataSetChange);
    }

    // Rows read again (refreshRecords, refreshAll), shown: the window read again around the
    // current record at its place, and AfterScroll when the current record left or the set
    // became empty or stopped being empty.
    bool showRefreshed(const std::function<cursor::Recordset::Refreshed()>& readAgain) {
        if (state == TDataSetState::dsInactive)
            return true;
        if (state != TDataSetState::dsBrowse)
            return false;
        const bool wasEmpty = window.empty();
        if (!wasEmpty)
            window.cursorToActive();
        const cursor::Recordset::Refreshed r = readAgain();
        if (!r.any())
            return true;
        if (!r.changedInPlace.empty()) {
            // Values changed, no row moved: only the records that show them are read again.
            const std::vector<int> records = window.rereadRows(r.changedInPlace);
            if (!records.empty()) {
                window.cursorToActive();
                q.dataEvent(TDataEvent::deDataSetChange, {.rereadRecords = &records});
            }
            return true;
        }
        reread(RecordWindow::Placement::KeepPosition, false);
        if (r.currentLeft || wasEmpty != window.empty())
            fire(q.AfterScroll);
        return true;
    }

    // Releases everything an open set holds.
    void release() {
        window.release();
        calcSlots.clear();
        storedSlots.reset();
        written.clear();
        staleRow.reset();
        lookup.reset();
        recordset.close();
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
    return d->window.bof();
}

bool TDataSet::eof() const {
    return d->window.eof();
}

bool TDataSet::isEmpty() const {
    return d->window.empty();
}

// Client-side with approximate positioning: meaningful record numbers unless filtered.
bool TDataSet::isSequenced() const {
    return d->recordset.isOpen() && !d->recordset.filtered();
}

bool TDataSet::canModify() const {
    return d->recordset.supportsUpdate();
}

// The internal machinery ----------------------------------------------------------------------

const cursor::Value* TDataSet::readSlot(const TField& field) const {
    if (d->state == TDataSetState::dsInactive)
        return nullptr;
    RecordBuffer* b = d->calcBuffer;
    if (!b) {
        if (d->window.empty())
            return nullptr;
        b = &d->window.activeRecord();
    }
    return &d->valueOf(*b, slotOf(field));
}

void TDataSet::writeField(TField& field, const cursor::Value& value) {
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
        b = &d->window.activeRecord();
    }
    d->slotToWrite(*b, slotOf(field)) = value;
    if (s == TDataSetState::dsCalcFields)
        return;
    dataEvent(TDataEvent::deFieldChange, {.field = &field});
    if (!field.isCalculated()) {
        d->modified = true;
        // A data field written by OnCalcFields itself must not start another computation.
        if (autoCalcFields && !d->calcBuffer)
            d->calculate(d->window.activeRecord(), false);
    }
}

// Operations --------------------------------------------------------------------------------

void TDataSet::open() {
    if (active())
        return;
    d->fire(BeforeOpen);
    try {
        openRecordset(d->recordset);
        bindFields();
        d->decoded = 0;
        d->window.attach(d->recordset, [this] { return d->read(); });
        d->window.fillFromFirst();
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
    const cursor::Recordset& rs = d->recordset;
    if (d->fields.empty()) {
        // Nothing declared: one field per column, for the time the set is open.
        for (int i = 0; i < rs.columnCount(); ++i) {
            const cursor::ColumnInfo& col = rs.column(i);
            if (const std::optional<TFieldType> type = fieldTypeOf(col.type))
                addField(col.name, *type);
        }
        d->defaultFields = true;
    }
    d->columnOf.assign(std::size_t(d->slotCount), -1);
    for (const auto& f : d->fields) {
        if (f->isCalculated())
            continue;
        int column = -1;
        for (int i = 0; i < rs.columnCount() && column < 0; ++i)
            if (rs.column(i).name.compare(f->fieldName(), Qt::CaseInsensitive) == 0)
                column = i;
        if (column < 0)
            raiseError(QStringLiteral("Field '%1' not found").arg(f->displayName()));
        const std::optional<TFieldType> type = fieldTypeOf(rs.column(column).type);
        if (!typesCompatible(f->dataType(), type))
            raiseError(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                           .arg(f->displayName(), TField::typeName(f->dataType()),
                                type ? TField::typeName(*type) : QStringLiteral("Unknown")));
        d->columnOf[std::size_t(slotOf(*f))] = column;
    }
    d->calcSlots.clear();
    d->storedSlots.reset();
    std::uint64_t stored = 0;
    for (const auto& f : d->fields) {
        const int slot = slotOf(*f);
        if (f->isCalculated())
            d->calcSlots.push_back(slot);
        else if (slot < 64)
            stored |= std::uint64_t(1) << slot;
    }
    if (d->slotCount <= 64)
        d->storedSlots = stored;
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
    d->window.fillFromFirst();
    dataEvent(TDataEvent::deDataSetChange);
    d->fire(AfterScroll);
}

void TDataSet::last() {
    checkBrowseMode();
    d->fire(BeforeScroll);
    d->window.fillFromLast();
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
    if (!d->window.canMove(distance))
        return 0;
    const RecordWindow::Moved moved = d->window.moveBy(distance);
    if (moved.countChanged)
        dataEvent(TDataEvent::deDataSetChange);
    else
        dataEvent(TDataEvent::deDataSetScroll, {.shift = moved.shift});
    d->fire(AfterScroll);
    return moved.steps;
}

cursor::Value TRecordValues::operator[](std::size_t i) const {
    const int column = columns_[i];
    if (column < 0)
        return std::monostate{};
    return recordset_.value(column);
}

void TDataSet::readRecords(const std::vector<const TField*>& fields,
                           const std::function<void(const TRecordValues& record)>& visit) const {
    if (!active())
        raiseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    std::vector<int> columns;
    for (const TField* f : fields) {
        if (&f->dataSet() != this)
            raiseError(QStringLiteral("Field '%1' not found").arg(f->fieldName()));
        columns.push_back(d->columnOf[std::size_t(slotOf(*f))]);
    }
    const std::unique_ptr<cursor::Recordset> copy = d->recordset.clone();
    const TRecordValues record(*copy, columns);
    for (; !copy->eof(); copy->moveNext())
        visit(record);
}

int TDataSet::recordCount() const {
    if (!active())
        raiseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    return d->recordset.recordCount();
}

void TDataSet::insert() {
    checkBrowseMode();
    if (!canModify())
        raiseError(QStringLiteral("Cannot modify a read-only dataset"));
    d->fire(BeforeInsert);
    d->fire(BeforeScroll);
    d->window.insertBlank(d->blank());
    d->setState(TDataSetState::dsInsert);
    d->written.clear();
    try {
        d->fire(OnNewRecord);
    } catch (...) {
        d->window.cursorToActive();
        d->window.removeActive();
        d->setState(TDataSetState::dsBrowse);
        d->reread(RecordWindow::Placement::KeepPosition, false);
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
    d->calculate(d->window.activeRecord(), true);
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
    checkRequiredFields();
    writeRecord();
    // The commit point: the record is stored, nothing below may write it again.
    d->finishStoredPost(postedBookmark());
}

void TDataSet::checkRequiredFields() const {
    RecordBuffer& b = d->window.activeRecord();
    for (const auto& f : d->fields)
        if (!f->isCalculated() && f->required() && !f->readOnly() &&
            cursor::isNull(d->valueOf(b, slotOf(*f))))
            throw EDatabaseError(
                QStringLiteral("Field '%1' must have a value").arg(f->displayName()));
}

// Stores the active record: a new row, or the written fields of an edited one. A failure drops
// the recordset's pending change and raises the engine's message without the set's name.
void TDataSet::writeRecord() {
    RecordBuffer& b = d->window.activeRecord();
    cursor::Recordset& rs = d->recordset;
    const std::optional<qint64> editedRow =
        d->state == TDataSetState::dsEdit ? std::optional<qint64>(b.bookmark) : std::nullopt;
    try {
        if (d->state == TDataSetState::dsInsert)
            rs.addNew();
        else
            rs.gotoBookmark(b.bookmark);
        for (TField* f : d->written) {
            const int column = d->columnOf[std::size_t(slotOf(*f))];
            if (column >= 0 && rs.column(column).updatable)
                rs.setValue(column, d->valueOf(b, slotOf(*f)));
        }
        if (rs.editPending() || rs.addPending())
            rs.update();
    } catch (...) {
        if (editedRow)
            d->staleRow = editedRow;
        failWrite(rs);
    }
    if (editedRow && d->staleRow == editedRow)
        d->staleRow.reset(); // the row was just written and read back
}

// The row a post left the recordset on (the one before when it stands at the end).
std::optional<qint64> TDataSet::postedBookmark() {
    cursor::Recordset& rs = d->recordset;
    try {
        if (rs.eof() && !rs.bof())
            rs.movePrevious();
        if (onRow(rs))
            return rs.bookmark();
    } catch (...) {
    }
    return std::nullopt;
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
    cursor::Recordset& rs = d->recordset;
    if (rs.editPending() || rs.addPending())
        rs.cancelUpdate();
    d->window.cursorToActive();
    if (!wasInsert && d->staleRow && onRow(rs) && rs.bookmark() == *d->staleRow) {
        // The edit failed against a changed row: show what the file holds now, so the user sees
        // the other change before editing again. A file that cannot be read just now keeps the
        // row marked for the next cancel.
        try {
            rs.resync();
            d->staleRow.reset();
        } catch (...) {
        }
    }
    d->setState(TDataSetState::dsBrowse);
    d->reread(RecordWindow::Placement::KeepPosition, false);
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
    cursor::Recordset& rs = d->recordset;
    try {
        rs.gotoBookmark(d->window.activeRecord().bookmark);
        rs.deleteCurrent(); // leaves the recordset on the row after the deleted one
    } catch (...) {
        failWrite(rs);
    }
    d->setState(TDataSetState::dsBrowse);
    d->reread(RecordWindow::Placement::KeepPosition, false);
    d->fire(AfterDelete);
    d->fire(AfterScroll);
}

bool TDataSet::locate(const QString& keyFields, const QStringList& keyValues,
                      TLocateOptions options) {
    d->fire(BeforeScroll);
    checkBrowseMode();
    bool found = false;
    try {
        found =
            findOnLookupCopy(keyFields, keyValues, options.testFlag(TLocateOption::loPartialKey));
    } catch (const EOleException&) {
        found = false; // a locate that cannot be carried out simply finds nothing
    } catch (const EDatabaseError&) {
        found = false;
    }
    if (!found)
        return false;
    d->reread(RecordWindow::Placement::Centre, true);
    d->fire(AfterScroll);
    return true;
}

// Searches the look-up copy sorted by the key fields (one field: the first match in that order;
// several: a filter) and puts the recordset on the record found.
bool TDataSet::findOnLookupCopy(const QString& keyFields, const QStringList& keyValues,
                                bool partial) {
    if (!d->lookup)
        d->lookup = d->recordset.clone();
    cursor::Recordset& copy = *d->lookup;
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
    copy.setFilter(std::vector<cursor::Criterion>());
    std::vector<cursor::Criterion> criteria;
    for (std::size_t i = 0; i < keys.size(); ++i)
        criteria.push_back(
            criterion(*keys[i], keyValues[qsizetype(i)], partial && i + 1 == keys.size()));
    bool found = false;
    if (keys.size() == 1) {
        found = copy.find(criteria.front()) && !copy.eof();
    } else {
        copy.setFilter(criteria);
        found = !copy.eof();
    }
    if (!found)
        return false;
    d->recordset.gotoBookmark(copy.bookmark());
    return onRow(d->recordset);
}

int TDataSet::recNo() const {
    if (!active())
        raiseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (d->calcBuffer)
        return d->calcBuffer->stored ? d->calcBuffer->recNo : -1;
    if (d->state == TDataSetState::dsInsert || d->window.empty())
        return -1;
    return d->window.activeRecord().recNo;
}

void TDataSet::setRecNo(int value) {
    if (value == recNo())
        return;
    d->fire(BeforeScroll);
    d->recordset.setAbsolutePosition(value);
    d->reread(RecordWindow::Placement::Centre, false);
    d->fire(AfterScroll);
}

void TDataSet::resync() {
    if (!active())
        raiseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    d->window.cursorToActive();
    d->reread(RecordWindow::Placement::KeepPosition, false);
}

bool TDataSet::refreshRecords(const std::vector<qint64>& keys) {
    return d->showRefreshed([&] { return d->recordset.refreshRows(keys); });
}

bool TDataSet::refreshAll() {
    return d->showRefreshed([&] {
        const cursor::Recordset::Refreshed r = d->recordset.requery();
        d->lookup.reset(); // it holds the rows read before
        return r;
    });
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
        // The sources as they are now: one a handler detaches is skipped, one it attaches waits.
        const QVarLengthArray<TDataSource*, 4> sources(d->sources.begin(), d->sources.end());
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
    return d->window.capacity();
}

int TDataSet::windowRecordCount() const {
    return active() ? d->window.size() : 0;
}

int TDataSet::activeRecord() const {
    return d->window.active();
}

void TDataSet::setActiveRecord(int position) {
    d->window.setActive(position);
}

std::uint64_t TDataSet::decodedValueCount() const {
    return d->decoded;
}

qint64 TDataSet::windowBookmark(int position) const {
    if (position < 0 || position >= d->window.size())
        return -1;
    const RecordBuffer& b = d->window.record(position);
    return b.stored ? b.bookmark : -1;
}

void TDataSet::updateBufferCount() {
    int n = 1;
    for (TDataSource* s : d->sources)
        for (TDataLink* l : s->links())
            n = std::max(n, l->bufferCount());
    const int shift = d->window.setCapacity(n);
    if (!active())
        return;
    for (TDataSource* s : d->sources)
        for (TDataLink* l : s->links())
            l->keepInWindow(shift);
}

} // namespace data
