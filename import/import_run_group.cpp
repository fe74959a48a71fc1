#include "import/import_run.h"

#include <optional>
#include <utility>

#include "db/tfdm.h"
#include "import/run_messages.h"
#include "values/control_text.h"
#include "values/failure.h"

// Many orders per transaction: the group's transaction, its commit, and the
// observer's events held back until the group's fate is known.

namespace imp {

bool ImportRun::Grouping() const { return orders_per_transaction_ > 1 && !dry_run_; }

void ImportRun::Notify(std::function<void()> notice) {
  if (Grouping()) {
    deferred_.push_back({std::move(notice), std::nullopt});
  } else {
    notice();
  }
}

void ImportRun::CommitGroup() {
  std::optional<std::string> failure;
  if (group_open_) {
    group_open_ = false;
    orders_in_group_ = 0;
    try {
      fdm_.Norvela.Commit();
    } catch (const Failure& f) {
      failure = f.what();
      try {
        if (fdm_.Norvela.InTransaction()) fdm_.Norvela.Rollback();
      } catch (const Failure&) {
        // The connection is gone, and the transaction with it.
      }
    }
  }
  // What the observer hears of the group, in the order it happened; an
  // order written in a transaction that did not commit was not written.
  std::vector<Deferred> deferred = std::move(deferred_);
  deferred_.clear();
  for (Deferred& d : deferred) {
    if (!d.written) {
      d.notice();
      continue;
    }
    OrderWritten& g = *d.written;
    if (!failure) {
      ++summary_.written_orders;
      summary_.written_lines += g.lines;
      if (observer_) observer_->OnOrderWritten(g);
      continue;
    }
    OrderDropped dropped{g.prefix,
                         g.number,
                         FormatText(kGroupNotCommittedText, {*failure}),
                         std::move(g.file_lines),
                         g.order_id,
                         g.lines,
                         g.vat,
                         g.total};
    if (observer_) observer_->OnOrderDropped(dropped);
    summary_.dropped_orders.push_back(std::move(dropped));
  }
  if (failure) throw Failure(*failure);
}

}  // namespace imp
