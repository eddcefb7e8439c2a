#include "delivery/outbox.hpp"

#include <filesystem>
#include <system_error>

#include <sqlite3.h>

namespace fs = std::filesystem;

namespace {
constexpr const char* journal_suffixes[] = {"-wal", "-shm", "-journal"};

// Short: a file that another process holds is reported at start instead of holding it up.
constexpr int busy_timeout_ms = 1000;
}

bool outbox_error::corrupt() const
{
    return code_ == SQLITE_CORRUPT || code_ == SQLITE_NOTADB;
}

void outbox::connection_deleter::operator()(sqlite3* db) const
{
    sqlite3_close(db);
}

void outbox::statement_deleter::operator()(sqlite3_stmt* statement) const
{
    sqlite3_finalize(statement);
}

outbox::outbox(const std::string& path)
{
    sqlite3* opened = nullptr;
    const int code = sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db_.reset(opened);
    if (code != SQLITE_OK)
        fail(code);
    sqlite3_busy_timeout(db_.get(), busy_timeout_ms);
    // A file that only allows reading opens without complaint; every later write would fail.
    if (sqlite3_db_readonly(db_.get(), "main") == 1)
        throw outbox_error(SQLITE_READONLY, sqlite3_errstr(SQLITE_READONLY));
    // Exclusive before the first access: the journal index then lives in memory, no other
    // process can change the rows under the store, and the write below takes the lock now.
    execute("PRAGMA locking_mode=EXCLUSIVE");
    execute("PRAGMA journal_mode=WAL");
    execute("PRAGMA synchronous=FULL");
    execute("BEGIN IMMEDIATE");
    execute("CREATE TABLE IF NOT EXISTS messages (id INTEGER PRIMARY KEY, body BLOB NOT NULL)");
    execute("COMMIT");
    append_ = prepare("INSERT INTO messages (body) VALUES (?)");
    remove_head_ = prepare("DELETE FROM messages WHERE id = (SELECT min(id) FROM messages)");
    trim_ = prepare("DELETE FROM messages WHERE id <= (SELECT id FROM messages ORDER BY id DESC LIMIT 1 OFFSET ?)");
    load_ = prepare("SELECT body FROM (SELECT id, body FROM messages ORDER BY id DESC LIMIT ?) ORDER BY id");
}

void outbox::append(const std::string& message)
{
    sqlite3_bind_blob64(append_.get(), 1, message.data(), message.size(), SQLITE_STATIC);
    run(append_.get());
}

void outbox::remove_head()
{
    run(remove_head_.get());
}

void outbox::trim(std::size_t kept)
{
    sqlite3_bind_int64(trim_.get(), 1, static_cast<sqlite3_int64>(kept));
    run(trim_.get());
}

std::vector<std::string> outbox::load(std::size_t newest)
{
    sqlite3_stmt* query = load_.get();
    sqlite3_bind_int64(query, 1, static_cast<sqlite3_int64>(newest));
    std::vector<std::string> messages;
    int code;
    while ((code = sqlite3_step(query)) == SQLITE_ROW) {
        // An empty blob reads as a null pointer.
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(query, 0));
        messages.emplace_back(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(query, 0)));
    }
    if (code != SQLITE_DONE) {
        const std::string reason = sqlite3_errmsg(db_.get());
        sqlite3_reset(query);
        throw outbox_error(code, reason);
    }
    sqlite3_reset(query);
    return messages;
}

void outbox::replace(const std::vector<std::string>& messages, std::int32_t mark)
{
    execute("BEGIN IMMEDIATE");
    try {
        execute("DELETE FROM messages");
        for (const std::string& message : messages)
            append(message);
        execute(("PRAGMA user_version=" + std::to_string(mark)).c_str());
        execute("COMMIT");
    } catch (const outbox_error&) {
        sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::int32_t outbox::mark()
{
    const statement query = prepare("PRAGMA user_version");
    const int code = sqlite3_step(query.get());
    if (code != SQLITE_ROW)
        fail(code);
    return sqlite3_column_int(query.get(), 0);
}

std::string outbox::set_aside(const std::string& path, const std::string& stamp)
{
    const fs::path file = fs::u8path(path);
    fs::path target = fs::u8path(path + ".corrupt-" + stamp);
    for (int n = 2; fs::exists(target); ++n)
        target = fs::u8path(path + ".corrupt-" + stamp + "-" + std::to_string(n));
    fs::rename(file, target);
    for (const char* journal : journal_suffixes) {
        fs::path from = file;
        from += journal;
        fs::path to = target;
        to += journal;
        std::error_code ignored; // mostly absent
        if (fs::exists(from, ignored))
            fs::rename(from, to, ignored);
    }
    return target.u8string();
}

void outbox::discard(const std::string& path)
{
    std::error_code ignored;
    fs::remove(fs::u8path(path), ignored);
    for (const char* journal : journal_suffixes)
        fs::remove(fs::u8path(path + journal), ignored);
}

void outbox::execute(const char* sql)
{
    const int code = sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        fail(code);
}

outbox::statement outbox::prepare(const char* sql)
{
    sqlite3_stmt* prepared = nullptr;
    const int code = sqlite3_prepare_v3(db_.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &prepared, nullptr);
    statement kept(prepared);
    if (code != SQLITE_OK)
        fail(code);
    return kept;
}

void outbox::run(sqlite3_stmt* statement)
{
    const int code = sqlite3_step(statement);
    const std::string reason = code == SQLITE_DONE ? std::string() : sqlite3_errmsg(db_.get());
    sqlite3_reset(statement); // also ends a statement that failed, with its changes undone
    sqlite3_clear_bindings(statement);
    if (code != SQLITE_DONE)
        throw outbox_error(code, reason);
}

void outbox::fail(int code)
{
    // The connection's message is the more precise one; without a connection only the code is known.
    throw outbox_error(code, db_ ? sqlite3_errmsg(db_.get()) : sqlite3_errstr(code));
}
