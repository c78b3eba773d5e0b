// A journal file in memory, shared by any number of stores as processes share the real one:
// each store has its own reading position, as each process has.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "backup/Journal.h"

struct MemoryJournalFile {
    bool exists = false;
    std::string bytes;
    uint64_t identity = 1;  // a new one for every replace
    bool locked = false;
    bool unreadable = false, unwritable = false;
    bool lockRefused = false;  // as when another process holds the lock too long
    int locks = 0, appends = 0, replaces = 0;
};

class MemoryJournalStore : public JournalStore {
public:
    explicit MemoryJournalStore(std::shared_ptr<MemoryJournalFile> file = std::make_shared<MemoryJournalFile>())
        : file_(std::move(file)) {}
    bool Lock() override {
        if (file_->lockRefused) return false;
        EXPECT_FALSE(file_->locked) << "the lock is taken twice";
        file_->locked = true;
        ++file_->locks;
        return true;
    }
    void Unlock() override { file_->locked = false; }
    bool ReadNew(std::string& out, bool& restarted) override {
        EXPECT_TRUE(file_->locked) << "read without the lock";
        out.clear();
        restarted = false;
        if (file_->unreadable) return false;
        if (!file_->exists) {
            restarted = known_;
            known_ = false;
            offset_ = 0;
            return true;
        }
        if (!known_ || id_ != file_->identity || file_->bytes.size() < offset_) {
            restarted = known_;
            offset_ = 0;
        }
        const std::string rest = file_->bytes.substr(offset_);
        out = rest.substr(0, CompleteLinesEnd(rest));
        offset_ += out.size();
        known_ = true;
        id_ = file_->identity;
        return true;
    }
    bool Append(const std::string& lines, bool& created) override {
        EXPECT_TRUE(file_->locked) << "append without the lock";
        created = false;
        if (file_->unwritable) return false;
        created = !file_->exists;
        file_->exists = true;
        if (!file_->bytes.empty() && file_->bytes.back() != '\n') file_->bytes += kTornLineEnd;
        file_->bytes += lines;
        ++file_->appends;
        known_ = true;  // the caller knows what it wrote
        id_ = file_->identity;
        offset_ = file_->bytes.size();
        return true;
    }
    bool Replace(const std::string& whole) override {
        EXPECT_TRUE(file_->locked) << "replace without the lock";
        if (file_->unwritable) return false;
        file_->bytes = whole;
        file_->exists = true;
        ++file_->identity;
        ++file_->replaces;
        return true;
    }
    bool Rewind() override {
        known_ = false;
        offset_ = 0;
        return true;
    }
    MemoryJournalFile& File() { return *file_; }
    std::shared_ptr<MemoryJournalFile> Shared() const { return file_; }

private:
    std::shared_ptr<MemoryJournalFile> file_;
    bool known_ = false;
    uint64_t id_ = 0;
    std::size_t offset_ = 0;
};
