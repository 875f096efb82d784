// libpq, loaded when the server engine first calls it: the libpq functions the program uses,
// each passing the call on to the library opened then.
//
// A program on a database file never touches the server engine, and linking libpq at build time
// would make every start load it with its two dozen libraries (TLS, Kerberos, LDAP), a tenth of
// the time to the first painted window. So the program does not link libpq: these functions,
// with libpq's own names and declarations, stand in for it. The first call opens "libpq.so.5";
// when it cannot be opened, that call (and every later one) raises a connection error that says
// so, which the server engine reports as any failed connection. A program that links libpq as
// well (the admin tool) reaches the same library through them.
#include "pgengine/PgError.h"

#include <dlfcn.h>
#include <libpq-fe.h>

namespace {

#define KORVELA_LIBPQ_FUNCTIONS(X)                                                                 \
    X(PQbackendPID)                                                                                \
    X(PQclear)                                                                                     \
    X(PQconnectPoll)                                                                               \
    X(PQconnectStartParams)                                                                        \
    X(PQconnectdbParams)                                                                           \
    X(PQconnectionNeedsPassword)                                                                   \
    X(PQconnectionUsedPassword)                                                                    \
    X(PQconninfoFree)                                                                              \
    X(PQconninfoParse)                                                                             \
    X(PQconsumeInput)                                                                              \
    X(PQerrorMessage)                                                                              \
    X(PQexecParams)                                                                                \
    X(PQfinish)                                                                                    \
    X(PQflush)                                                                                     \
    X(PQfmod)                                                                                      \
    X(PQfname)                                                                                     \
    X(PQfreemem)                                                                                   \
    X(PQftable)                                                                                    \
    X(PQftablecol)                                                                                 \
    X(PQftype)                                                                                     \
    X(PQgetResult)                                                                                 \
    X(PQgetisnull)                                                                                 \
    X(PQgetlength)                                                                                 \
    X(PQgetvalue)                                                                                  \
    X(PQisBusy)                                                                                    \
    X(PQnfields)                                                                                   \
    X(PQnotifies)                                                                                  \
    X(PQntuples)                                                                                   \
    X(PQreset)                                                                                     \
    X(PQresultErrorField)                                                                          \
    X(PQresultErrorMessage)                                                                        \
    X(PQresultStatus)                                                                              \
    X(PQsendQuery)                                                                                 \
    X(PQsetNoticeProcessor)                                                                        \
    X(PQsetnonblocking)                                                                            \
    X(PQsocket)                                                                                    \
    X(PQstatus)                                                                                    \
    X(PQtransactionStatus)

// The library's functions, found once.
struct Library {
#define KORVELA_LIBPQ_FIELD(name) decltype(&::name) name = nullptr;
    KORVELA_LIBPQ_FUNCTIONS(KORVELA_LIBPQ_FIELD)
#undef KORVELA_LIBPQ_FIELD
    QString problem; // why it could not be opened; empty when it was

    Library() {
        // Kept open for the rest of the process, as a linked library would be.
        void* handle = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            problem = QString::fromLocal8Bit(dlerror());
            return;
        }
#define KORVELA_LIBPQ_FIND(name)                                                                   \
    name = reinterpret_cast<decltype(name)>(dlsym(handle, #name));                                 \
    if (!name && problem.isEmpty())                                                                \
        problem = QStringLiteral("libpq.so.5 lacks ") + QLatin1String(#name);
        KORVELA_LIBPQ_FUNCTIONS(KORVELA_LIBPQ_FIND)
#undef KORVELA_LIBPQ_FIND
    }
};

const Library& libpq() {
    static const Library library; // opened by the first call, on whichever thread makes it
    if (!library.problem.isEmpty())
        throw pgengine::ServerError(
            pgengine::ServerError::Kind::Connection,
            QStringLiteral("The PostgreSQL client library could not be loaded: ") +
                library.problem);
    return library;
}

} // namespace

extern "C" {

int PQbackendPID(const PGconn* conn) {
    return libpq().PQbackendPID(conn);
}
void PQclear(PGresult* res) {
    libpq().PQclear(res);
}
PostgresPollingStatusType PQconnectPoll(PGconn* conn) {
    return libpq().PQconnectPoll(conn);
}
PGconn* PQconnectStartParams(const char* const* keywords, const char* const* values,
                             int expandDbname) {
    return libpq().PQconnectStartParams(keywords, values, expandDbname);
}
PGconn* PQconnectdbParams(const char* const* keywords, const char* const* values,
                          int expandDbname) {
    return libpq().PQconnectdbParams(keywords, values, expandDbname);
}
int PQconnectionNeedsPassword(const PGconn* conn) {
    return libpq().PQconnectionNeedsPassword(conn);
}
int PQconnectionUsedPassword(const PGconn* conn) {
    return libpq().PQconnectionUsedPassword(conn);
}
void PQconninfoFree(PQconninfoOption* options) {
    libpq().PQconninfoFree(options);
}
PQconninfoOption* PQconninfoParse(const char* conninfo, char** errmsg) {
    return libpq().PQconninfoParse(conninfo, errmsg);
}
int PQconsumeInput(PGconn* conn) {
    return libpq().PQconsumeInput(conn);
}
char* PQerrorMessage(const PGconn* conn) {
    return libpq().PQerrorMessage(conn);
}
PGresult* PQexecParams(PGconn* conn, const char* command, int nParams, const Oid* paramTypes,
                       const char* const* paramValues, const int* paramLengths,
                       const int* paramFormats, int resultFormat) {
    return libpq().PQexecParams(conn, command, nParams, paramTypes, paramValues, paramLengths,
                                paramFormats, resultFormat);
}
void PQfinish(PGconn* conn) {
    libpq().PQfinish(conn);
}
int PQflush(PGconn* conn) {
    return libpq().PQflush(conn);
}
int PQfmod(const PGresult* res, int field) {
    return libpq().PQfmod(res, field);
}
char* PQfname(const PGresult* res, int field) {
    return libpq().PQfname(res, field);
}
void PQfreemem(void* ptr) {
    libpq().PQfreemem(ptr);
}
Oid PQftable(const PGresult* res, int field) {
    return libpq().PQftable(res, field);
}
int PQftablecol(const PGresult* res, int field) {
    return libpq().PQftablecol(res, field);
}
Oid PQftype(const PGresult* res, int field) {
    return libpq().PQftype(res, field);
}
PGresult* PQgetResult(PGconn* conn) {
    return libpq().PQgetResult(conn);
}
int PQgetisnull(const PGresult* res, int row, int field) {
    return libpq().PQgetisnull(res, row, field);
}
int PQgetlength(const PGresult* res, int row, int field) {
    return libpq().PQgetlength(res, row, field);
}
char* PQgetvalue(const PGresult* res, int row, int field) {
    return libpq().PQgetvalue(res, row, field);
}
int PQisBusy(PGconn* conn) {
    return libpq().PQisBusy(conn);
}
int PQnfields(const PGresult* res) {
    return libpq().PQnfields(res);
}
PGnotify* PQnotifies(PGconn* conn) {
    return libpq().PQnotifies(conn);
}
int PQntuples(const PGresult* res) {
    return libpq().PQntuples(res);
}
void PQreset(PGconn* conn) {
    libpq().PQreset(conn);
}
char* PQresultErrorField(const PGresult* res, int fieldcode) {
    return libpq().PQresultErrorField(res, fieldcode);
}
char* PQresultErrorMessage(const PGresult* res) {
    return libpq().PQresultErrorMessage(res);
}
ExecStatusType PQresultStatus(const PGresult* res) {
    return libpq().PQresultStatus(res);
}
int PQsendQuery(PGconn* conn, const char* query) {
    return libpq().PQsendQuery(conn, query);
}
PQnoticeProcessor PQsetNoticeProcessor(PGconn* conn, PQnoticeProcessor proc, void* arg) {
    return libpq().PQsetNoticeProcessor(conn, proc, arg);
}
int PQsetnonblocking(PGconn* conn, int arg) {
    return libpq().PQsetnonblocking(conn, arg);
}
int PQsocket(const PGconn* conn) {
    return libpq().PQsocket(conn);
}
ConnStatusType PQstatus(const PGconn* conn) {
    return libpq().PQstatus(conn);
}
PGTransactionStatusType PQtransactionStatus(const PGconn* conn) {
    return libpq().PQtransactionStatus(conn);
}

} // extern "C"
