#pragma once
// The durable copy of the waiting messages: one SQLite file, rows in the order they were added,
// each the message's exact bytes. A commit is on disk when the call returns (WAL, synchronous=FULL),
// and the file is held exclusively for as long as the object lives.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// A failure of the outbox file, with SQLite's reason as its text.
class outbox_error : public std::runtime_error {
public:
    outbox_error(int code, const std::string& reason) : std::runtime_error(reason), code_(code & 0xff) {}
    // The file is not a database or is damaged: it has to be moved aside before a fresh one is made.
    bool corrupt() const;

private:
    int code_; // SQLite's primary result code
};

class outbox {
public:
    // Opens the file at this UTF-8 path, or creates it; the folder must exist. Throws outbox_error
    // when the file cannot be opened, written, or is damaged, or another connection holds it.
    explicit outbox(const std::string& path);
    outbox(const outbox&) = delete;
    outbox& operator=(const outbox&) = delete;

    // Each throws outbox_error and then leaves the rows as they were.
    void append(const std::string& message);
    void remove_head();
    // Keeps only the newest `kept` rows.
    void trim(std::size_t kept);
    // The newest `newest` rows, oldest first.
    std::vector<std::string> load(std::size_t newest);
    // In one transaction: these rows in place of all others, and the file's mark set.
    void replace(const std::vector<std::string>& messages, std::int32_t mark);
    // The mark the last replace left; 0 in a file that never had one.
    std::int32_t mark();

    // Moves a damaged file and its journal files aside as "<path>.corrupt-<stamp>", never over an
    // earlier one; no connection may hold it. Gives the new path of the file.
    static std::string set_aside(const std::string& path, const std::string& stamp);
    // Deletes the file and its journal files, as far as possible; no connection may hold it.
    static void discard(const std::string& path);

private:
    struct connection_deleter {
        void operator()(sqlite3* db) const;
    };
    struct statement_deleter {
        void operator()(sqlite3_stmt* statement) const;
    };
    using statement = std::unique_ptr<sqlite3_stmt, statement_deleter>;

    void execute(const char* sql);
    statement prepare(const char* sql);
    // Runs a prepared statement to its end and resets it for the next use.
    void run(sqlite3_stmt* statement);
    [[noreturn]] void fail(int code);

    // Closed last, after its statements: a connection with live statements would stay open.
    std::unique_ptr<sqlite3, connection_deleter> db_;
    statement append_;
    statement remove_head_;
    statement trim_;
    statement load_;
};
