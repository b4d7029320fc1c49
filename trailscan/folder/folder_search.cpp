#include "trailscan/folder/folder_search.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "common/number_text.h"
#include "trailscan/log/source.h"

namespace trailscan::folder {

using scan::ScanEnd;
using scan::ScanOutcome;
using table::kLineBreak;

std::string headingLine(std::string_view shown) {
    std::string line = "==> ";
    line += shown;
    line += " <==";
    line += kLineBreak;
    return line;
}

namespace {

// Report bytes a log searched ahead of its turn keeps before it waits for its turn.
constexpr std::size_t kAheadBytes = std::size_t{16} << 20;

// One log of the listing as its search goes.
struct Slot {
    scan::ScanControl control;  // its own; the caller's cancel is passed on, its progress summed
    std::string held;           // its report, kept until its turn
    ScanOutcome searched;
    std::size_t used = 0;  // the report bytes before it that its search counted
    bool started = false;
    bool finished = false;
    bool live = false;    // its pieces go out as they come: its search started in its turn
    bool headed = false;  // its heading went out
};

// Several logs searched at once, each on one core (a log that is most of what is left on
// every core), their reports handed to the sink in the listing's order. A log searched ahead
// of its turn keeps its report until then; it counted the report bytes known when it started
// against the capacity, and when that changes what it lists (the capacity was reached), it is
// searched again in its turn. So the report is always that of one log after the other.
class FolderSearch {
  public:
    FolderSearch(const LogListing& listing, const scan::WholeLogQuery& query,
                 scan::ScanControl& control, const scan::ReportSink& sink,
                 const LogTrouble& trouble, const std::function<void(std::size_t)>& onLog)
        : listing_(listing),
          query_(query),
          control_(control),
          sink_(sink),
          trouble_(trouble),
          onLog_(onLog),
          slots_(listing.logs.size()) {
        std::int64_t after = 0;
        left_.assign(slots_.size() + 1, 0);
        for (std::size_t j = slots_.size(); j-- > 0;) {
            after += std::max<std::int64_t>(listing.logs[j].size, 0);
            left_[j] = after;
        }
    }

    FolderOutcome run() {
        if (onLog_ && !slots_.empty()) {
            onLog_(0);
        }
        const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
        const std::size_t workers = std::min<std::size_t>({cores, 8, slots_.size()});
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < workers; ++t) {
            try {
                threads.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break;
            }
        }
        if (threads.empty()) {
            work();
        }
        // Passes the caller's cancel on and sums the progress while the logs are searched.
        std::unique_lock lock(mutex_);
        while (!changed_.wait_for(lock, std::chrono::milliseconds(20), [&] { return over(); })) {
            follow();
        }
        follow();
        if (head_ < slots_.size()) {
            // Stopped before the log whose turn it was had begun.
            outcome_.cancelled = true;
            outcome_.logsDone = head_;
        }
        lock.unlock();
        for (auto& thread : threads) {
            thread.join();
        }
        return outcome_;
    }

  private:
    // All logs handed over, or the search stopped and nothing runs any more.
    bool over() const {
        if (head_ >= slots_.size()) {
            return true;
        }
        return stopped_ && std::none_of(slots_.begin(), slots_.end(), [](const Slot& slot) {
                   return slot.started && !slot.finished;
               });
    }

    void follow() {
        const bool cancel = control_.cancel.load();
        std::int64_t done = 0;
        for (Slot& slot : slots_) {
            if (cancel) {
                slot.control.cancel = true;
            }
            done += slot.control.bytesDone.load(std::memory_order_relaxed);
        }
        if (cancel) {
            stopped_ = true;
            changed_.notify_all();  // a log waiting for its turn stops waiting
        }
        control_.bytesDone = control_.bytesBefore + done;
    }

    void work() {
        for (;;) {
            std::size_t j = 0;
            {
                std::lock_guard lock(mutex_);
                if (control_.cancel.load()) {
                    stopped_ = true;
                }
                if (stopped_ || next_ >= slots_.size()) {
                    changed_.notify_all();
                    return;
                }
                j = next_++;
                Slot& slot = slots_[j];
                slot.started = true;
                slot.used = std::min(written_, query_.capacity);
                slot.live = j == head_;
            }
            search(j, false);
        }
    }

    // Searches log j, in its turn (`again`: once more, with the bytes before it now known).
    void search(std::size_t j, bool again) {
        Slot& slot = slots_[j];
        scan::WholeLogQuery query = query_;
        query.used = slot.used;
        scan::ScanTuning tuning;
        // A log that is most of what is left gets every core; the others one each.
        const std::int64_t size = std::max<std::int64_t>(listing_.logs[j].size, 0);
        tuning.threads = again || 2 * size >= left_[j] ? 0 : 1;
        const ScanOutcome searched = scan::searchWholeLog(
            listing_.logs[j].path, nullptr, query, slot.control,
            [this, j](std::string_view piece) { take(j, piece); }, tuning);
        std::unique_lock lock(mutex_);
        slot.searched = searched;
        slot.finished = true;
        handOver(lock);
        changed_.notify_all();
    }

    void take(std::size_t j, std::string_view piece) {
        std::unique_lock lock(mutex_);
        Slot& slot = slots_[j];
        if (slot.live) {
            out(j, piece);
            return;
        }
        slot.held.append(piece);
        changed_.wait(lock, [&] {
            return slot.held.size() <= kAheadBytes || head_ == j || slot.control.cancel.load();
        });
    }

    void out(std::size_t j, std::string_view piece) {
        Slot& slot = slots_[j];
        if (!slot.headed && listing_.headed) {
            slot.headed = true;
            written(headingLine(listing_.logs[j].shown));
        }
        written(piece);
    }

    void written(std::string_view piece) {
        written_ += piece.size();
        sink_(piece);
    }

    // Hands over the logs whose turn it is and whose search is done, in order; a log whose
    // search ahead of its turn would list otherwise now is searched again, here.
    void handOver(std::unique_lock<std::mutex>& lock) {
        while (head_ < slots_.size() && slots_[head_].finished) {
            const std::size_t j = head_;
            Slot& slot = slots_[j];
            const ScanOutcome& searched = slot.searched;
            const std::size_t exact = std::min(written_, query_.capacity);
            if (!slot.live && slot.used != exact &&
                (searched.unlisted > 0 || exact + slot.held.size() > query_.capacity) &&
                searched.end != ScanEnd::Cancelled && !stopped_) {
                std::string().swap(slot.held);
                slot.used = exact;
                slot.live = true;
                slot.finished = false;
                slot.control.bytesDone = 0;
                lock.unlock();
                search(j, true);  // hands over from there
                lock.lock();
                return;
            }
            if (!slot.live) {
                if (!slot.held.empty()) {
                    out(j, slot.held);
                }
                std::string().swap(slot.held);
            }
            if (!close(j)) {
                head_ = slots_.size();  // stopped here: nothing after it is handed over
                changed_.notify_all();
                return;
            }
            ++head_;
            if (head_ < slots_.size()) {
                if (stopped_ && !slots_[head_].started) {
                    outcome_.cancelled = true;
                    outcome_.logsDone = head_;
                    head_ = slots_.size();
                } else if (onLog_) {
                    onLog_(head_);
                }
            }
            changed_.notify_all();
        }
        if (stopped_ && head_ < slots_.size() && !slots_[head_].started) {
            outcome_.cancelled = true;
            outcome_.logsDone = head_;
            head_ = slots_.size();
        }
    }

    // The end of log j's report: what could not be done, and its heading and empty line.
    // False when the search stopped in it.
    bool close(std::size_t j) {
        Slot& slot = slots_[j];
        const ScanOutcome& searched = slot.searched;
        const LogEntry& log = listing_.logs[j];
        outcome_.matches += searched.matches;
        bool cancelled = false;
        switch (searched.end) {
            case ScanEnd::Complete:
                break;
            case ScanEnd::Cancelled:
                cancelled = true;
                break;
            case ScanEnd::Unreadable:
                ++outcome_.troubled;
                trouble_(log, searched.error);
                break;
            case ScanEnd::Changed:
                ++outcome_.troubled;
                trouble_(log, "the file changed while it was searched");
                break;
            case ScanEnd::PatternLimit:
                ++outcome_.troubled;
                trouble_(log, "the regular expression passed its match limit in record " +
                                  common::grouped(static_cast<std::uint64_t>(searched.nextRecord)));
                break;
        }
        if (!searched.damage.empty() && searched.end != ScanEnd::Unreadable) {
            ++outcome_.troubled;
            trouble_(log, searched.damage + "; the records before it were searched");
        }
        // An unreadable log gets no heading: it is named to the trouble callback only.
        if (listing_.headed && searched.end != ScanEnd::Unreadable) {
            if (!slot.headed) {
                slot.headed = true;  // a log without hits still gets its heading
                written(headingLine(log.shown));
            }
            written(kLineBreak);
        }
        if (cancelled) {
            outcome_.cancelled = true;
            outcome_.logsDone = j;
            stopped_ = true;
            return false;
        }
        outcome_.logsDone = j + 1;
        return true;
    }

    const LogListing& listing_;
    const scan::WholeLogQuery& query_;
    scan::ScanControl& control_;
    const scan::ReportSink& sink_;
    const LogTrouble& trouble_;
    const std::function<void(std::size_t)>& onLog_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;
    std::vector<std::int64_t> left_;  // bytes of the logs from each on
    std::size_t next_ = 0;            // the next log to start
    std::size_t head_ = 0;            // the log whose turn it is
    std::size_t written_ = 0;
    bool stopped_ = false;
    FolderOutcome outcome_;
};

}  // namespace

FolderOutcome searchLogs(const LogListing& listing, const scan::WholeLogQuery& query,
                         scan::ScanControl& control, const scan::ReportSink& sink,
                         const LogTrouble& trouble, const std::function<void(std::size_t)>& onLog) {
    return FolderSearch(listing, query, control, sink, trouble, onLog).run();
}

}  // namespace trailscan::folder
