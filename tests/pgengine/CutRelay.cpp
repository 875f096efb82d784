// The relay that cuts a server connection at COMMIT: sockets, the client's messages, the cuts.
#include "tests/pgengine/CutRelay.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace servertest {

namespace {

constexpr quint32 kSslRequest = 80877103, kGssRequest = 80877104, kCancelRequest = 80877102;

quint32 bigEndian32(const char* p) {
    quint32 v;
    std::memcpy(&v, p, 4);
    return ntohl(v);
}

void sendAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.constData() + done, std::size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            return; // the peer went; the poll loop notices
        done += n;
    }
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int connectToServer() {
    const QByteArray host = qEnvironmentVariable("PGHOST", "localhost").toUtf8();
    const QByteArray port = qEnvironmentVariable("PGPORT", "5432").toUtf8();
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd >= 0 && ::connect(fd, a->ai_addr, a->ai_addrlen) != 0)
            closeFd(fd);
    }
    ::freeaddrinfo(found);
    return fd;
}

// The statement text of a Parse ('P') or simple Query ('Q') message; empty for other messages.
QByteArray statementOf(const QByteArray& message) {
    if (message.isEmpty() || (message[0] != 'P' && message[0] != 'Q'))
        return {};
    const char* body = message.constData() + 5;
    if (message[0] == 'P')
        body += std::strlen(body) + 1; // the prepared statement's name
    return QByteArray(body).trimmed();
}

QByteArray message(char type, const QByteArray& body) {
    QByteArray m(1, type);
    const quint32 length = htonl(quint32(body.size() + 4));
    m.append(reinterpret_cast<const char*>(&length), 4);
    return m + body;
}

// What the server sends when it ends a session (an administrator's pg_terminate_backend), then
// ready-for-query, which a real server would not send after it.
QByteArray fatalAnswer() {
    QByteArray fields;
    for (const auto& [code, text] : {std::pair{'S', "FATAL"},
                                     {'V', "FATAL"},
                                     {'C', "57P01"},
                                     {'M', "terminating connection due to administrator command"}})
        fields += code + QByteArray(text) + '\0';
    fields += '\0';
    return message('E', fields) + message('Z', "I");
}

// One client connection and its connection to the server.
struct Link {
    enum class State { Forward, SwallowAnswer, Held, SkipToSync, Answered, Closed };
    int client = -1;
    int server = -1;
    State state = State::Forward;
    bool started = false; // the startup message has passed
    QByteArray fromClient, fromServer;

    void close() {
        closeFd(client);
        closeFd(server);
        state = State::Closed;
    }
};

} // namespace

struct CutRelay::Private {
    int listener = -1;
    int port = 0;
    int wake[2] = {-1, -1};
    std::thread thread;
    std::list<Link> links;

    std::mutex mutex; // guards the fields below
    bool armed = false;
    Cut cut = Cut::BeforeCommit;
    QByteArray statement;
    bool refuseAfterCut = false;
    bool refusing = false;
    std::atomic<bool> cutDone{false};

    void run();
    void accept();
    void readClient(Link& link);
    void readServer(Link& link);
    // Whether the message is the one the armed cut waits for; takes the arming when it is.
    bool takeCut(const QByteArray& message, Cut* how);
    void cutAt(Link& link, const QByteArray& message, Cut how);
    void afterClientMessages(Link& link);
};

CutRelay::CutRelay() : d(std::make_unique<Private>()) {
    d->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (d->listener < 0 ||
        ::bind(d->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(d->listener, 16) != 0 ||
        ::getsockname(d->listener, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        ::pipe2(d->wake, O_CLOEXEC) != 0)
        throw std::runtime_error("the relay cannot listen");
    d->port = ntohs(address.sin_port);
    d->thread = std::thread([this] { d->run(); });
}

CutRelay::~CutRelay() {
    const char stop = 'x';
    (void)::write(d->wake[1], &stop, 1);
    d->thread.join();
    for (Link& link : d->links)
        link.close();
    closeFd(d->listener);
    closeFd(d->wake[0]);
    closeFd(d->wake[1]);
}

QString CutRelay::connectionString() const {
    return QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 sslmode=disable gssencmode=disable")
        .arg(d->port)
        .arg(qEnvironmentVariable("PGDATABASE", "postgres"));
}

void CutRelay::arm(Cut cut, const QByteArray& statement, bool refuseAfterCut) {
    const std::lock_guard lock(d->mutex);
    d->armed = true;
    d->cut = cut;
    d->statement = statement;
    d->refuseAfterCut = refuseAfterCut;
    d->cutDone = false;
}

bool CutRelay::hasCut() const {
    return d->cutDone;
}

void CutRelay::allowConnections() {
    const std::lock_guard lock(d->mutex);
    d->refusing = false;
}

void CutRelay::Private::run() {
    for (;;) {
        std::vector<pollfd> fds{{wake[0], POLLIN, 0}, {listener, POLLIN, 0}};
        std::vector<std::pair<Link*, bool>> owners{{nullptr, false}, {nullptr, false}};
        for (Link& link : links) {
            if (link.client >= 0) {
                fds.push_back({link.client, POLLIN, 0});
                owners.push_back({&link, true});
            }
            if (link.server >= 0) {
                fds.push_back({link.server, POLLIN, 0});
                owners.push_back({&link, false});
            }
        }
        if (::poll(fds.data(), nfds_t(fds.size()), -1) < 0)
            continue;
        if (fds[0].revents)
            return;
        if (fds[1].revents)
            accept();
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            Link& link = *owners[i].first;
            if (owners[i].second && link.client == fds[i].fd)
                readClient(link);
            else if (!owners[i].second && link.server == fds[i].fd)
                readServer(link);
        }
        links.remove_if([](const Link& link) { return link.state == Link::State::Closed; });
    }
}

void CutRelay::Private::accept() {
    const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    bool refuse;
    {
        const std::lock_guard lock(mutex);
        refuse = refusing;
    }
    Link link;
    link.client = client;
    link.server = refuse ? -1 : connectToServer();
    if (link.server < 0) {
        link.close();
        return;
    }
    links.push_back(std::move(link));
}

bool CutRelay::Private::takeCut(const QByteArray& message, Cut* how) {
    const QByteArray text = statementOf(message);
    if (text.isEmpty())
        return false;
    const std::lock_guard lock(mutex);
    if (!armed)
        return false;
    const bool match =
        cut == Cut::Fatal ? text.startsWith(statement) : text.toUpper() == statement.toUpper();
    if (!match)
        return false;
    armed = false;
    refusing = refuseAfterCut;
    *how = cut;
    return true;
}

void CutRelay::Private::cutAt(Link& link, const QByteArray& message, Cut how) {
    switch (how) {
    case Cut::BeforeCommit:
        link.close();
        break;
    case Cut::AfterCommit:
        // The server gets the COMMIT and the rest of the exchange (bind, execute, sync); its
        // answer ends at ready-for-query, which closes both sides.
        sendAll(link.server, message + link.fromClient);
        link.fromClient.clear();
        link.state = Link::State::SwallowAnswer;
        break;
    case Cut::Hold:
        closeFd(link.client);
        link.state = Link::State::Held;
        break;
    case Cut::Fatal:
        closeFd(link.server);
        link.state = message[0] == 'Q' ? Link::State::Answered : Link::State::SkipToSync;
        if (link.state == Link::State::Answered)
            sendAll(link.client, fatalAnswer());
        break;
    }
    cutDone = true;
}

void CutRelay::Private::readClient(Link& link) {
    char buffer[65536];
    const ssize_t n = ::recv(link.client, buffer, sizeof buffer, 0);
    if (n <= 0) {
        link.close(); // the client went: so does its server session
        return;
    }
    if (link.state == Link::State::Forward || link.state == Link::State::SkipToSync) {
        link.fromClient.append(buffer, n);
        afterClientMessages(link);
    }
}

// Forwards the client's whole messages one by one, watching for the armed cut.
void CutRelay::Private::afterClientMessages(Link& link) {
    QByteArray& b = link.fromClient;
    for (;;) {
        if (link.state != Link::State::Forward && link.state != Link::State::SkipToSync)
            return;
        qsizetype size;
        if (!link.started) {
            if (b.size() < 4)
                return;
            size = qsizetype(bigEndian32(b.constData()));
        } else {
            if (b.size() < 5)
                return;
            size = 1 + qsizetype(bigEndian32(b.constData() + 1));
        }
        if (b.size() < size)
            return;
        const QByteArray m = b.left(size);
        b.remove(0, size);
        if (!link.started) {
            const quint32 code = bigEndian32(m.constData() + 4);
            link.started = code != kSslRequest && code != kGssRequest && code != kCancelRequest;
            sendAll(link.server, m);
            continue;
        }
        if (link.state == Link::State::SkipToSync) {
            if (m[0] == 'S') {
                sendAll(link.client, fatalAnswer());
                link.state = Link::State::Answered;
            }
            continue;
        }
        Cut how;
        if (takeCut(m, &how)) {
            cutAt(link, m, how);
            continue;
        }
        sendAll(link.server, m);
    }
}

void CutRelay::Private::readServer(Link& link) {
    char buffer[65536];
    const ssize_t n = ::recv(link.server, buffer, sizeof buffer, 0);
    if (n <= 0) {
        link.close();
        return;
    }
    switch (link.state) {
    case Link::State::Forward:
        sendAll(link.client, QByteArray(buffer, n));
        break;
    case Link::State::SwallowAnswer: {
        // The answer to the COMMIT, message by message, up to ready-for-query.
        link.fromServer.append(buffer, n);
        QByteArray& b = link.fromServer;
        while (b.size() >= 5) {
            const qsizetype size = 1 + qsizetype(bigEndian32(b.constData() + 1));
            if (b.size() < size)
                break;
            const char type = b[0];
            b.remove(0, size);
            if (type == 'Z') {
                link.close();
                return;
            }
        }
        break;
    }
    default:
        break; // held: the server's side is kept open, and what it says is dropped
    }
}

} // namespace servertest
