#pragma once

#include "database.h"

#include <optional>

namespace shop {

// The caller's transaction, or one of this path's own: for the ledgers'
// writes, which run alone or inside a larger write (a sale, an import).
class TransactionScope {
public:
    explicit TransactionScope(Database& db)
    {
        if (!db.inTransaction())
            own_.emplace(db);
    }
    bool active() const { return !own_ || own_->active(); }
    QString error() const { return own_ ? own_->error() : QString(); }
    DbResult commit() { return own_ ? own_->commit() : DbResult{}; }

private:
    std::optional<Database::Transaction> own_;
};

} // namespace shop
