// Connection: the engine behind a connection string (an SQLite file, or another engine handed
// over).
#include "engine/CursorConnection.h"

#include "core/Errors.h"
#include "engine/SqliteBackend.h"

namespace cursor {

Connection::Connection() = default;

Connection::~Connection() {
    close();
}

QString Connection::valueOf(const QString& connectionString, const QString& wanted) {
    const QString& s = connectionString;
    qsizetype i = 0;
    while (i < s.size()) {
        const qsizetype equals = s.indexOf('=', i);
        const qsizetype semicolon = s.indexOf(';', i);
        if (equals < 0)
            break;
        if (semicolon >= 0 && semicolon < equals) { // a part without "=": skip it
            i = semicolon + 1;
            continue;
        }
        const QString name = s.mid(i, equals - i).simplified();
        i = equals + 1;
        while (i < s.size() && s[i] == ' ')
            ++i;
        QString value;
        if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
            // Quoted: runs to the matching quote; a doubled quote stands for one.
            const QChar quote = s[i++];
            while (i < s.size()) {
                if (s[i] == quote) {
                    if (i + 1 < s.size() && s[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += s[i++];
            }
            const qsizetype next = s.indexOf(';', i);
            i = next < 0 ? s.size() : next + 1;
        } else {
            const qsizetype end = semicolon < 0 ? s.size() : semicolon;
            value = s.mid(i, end - i).trimmed();
            i = end + 1;
        }
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QString Connection::dataSourceOf(const QString& connectionString) {
    return valueOf(connectionString, QStringLiteral("Data Source"));
}

void Connection::open(const QString& connectionString) {
    close();
    const QString path = dataSourceOf(connectionString);
    if (path.isEmpty())
        throw EOleException(QStringLiteral("The connection string names no Data Source"));
    auto file = std::make_unique<SqliteBackend>();
    file->setWaitObserver(waitObserver_);
    file->open(path, stateObserver_);
    file_ = file.get();
    backend_ = std::move(file);
}

void Connection::open(std::unique_ptr<Backend> backend) {
    close();
    backend_ = std::move(backend);
}

WriteState Connection::writeState() const {
    return file_ ? file_->writeState() : WriteState::Writable;
}

void Connection::startCheck() {
    if (file_)
        file_->startCheck();
}

void Connection::requireWritable() {
    if (file_)
        file_->requireWritable();
}

void Connection::reportDamage() {
    if (file_)
        file_->reportDamage();
}

void Connection::setStateObserver(std::function<void()> observer) {
    stateObserver_ = std::move(observer);
}

void Connection::setWaitObserver(std::function<void(bool)> observer) {
    waitObserver_ = std::move(observer);
    if (file_)
        file_->setWaitObserver(waitObserver_);
}

void Connection::close() {
    if (backend_)
        backend_->close();
    backend_.reset();
    file_ = nullptr;
}

bool Connection::isOpen() const {
    return backend_ && backend_->isOpen();
}

Backend& Connection::backend() const {
    if (!isOpen())
        throw EOleException(QStringLiteral("Operation is not allowed when the object is closed"));
    return *backend_;
}

const QString& Connection::path() const {
    static const QString none;
    return file_ ? file_->path() : none;
}

} // namespace cursor
