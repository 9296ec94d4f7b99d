#include "log_record.h"
#include "logging.h"

#include <array>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <boost/log/attributes/attribute_value_impl.hpp>
#include <boost/log/attributes/constant.hpp>
#include <boost/log/attributes/current_thread_id.hpp>
#include <boost/log/core.hpp>
#include <boost/log/detail/default_attribute_names.hpp>
#include <boost/log/utility/formatting_ostream.hpp>

namespace zorva::plugin::log {
namespace {

namespace logging = boost::log;
namespace names = boost::log::aux::default_attribute_names;
using Severity = logging::trivial::severity_level;
using ThreadId = logging::attributes::current_thread_id::value_type;

// The severity of a record, as the sinks' filters and the console's lines
// read it: one attribute set per level, made once and never destroyed, as
// records still come while the statics go.
const logging::attribute_set& severityAttributes(Severity severity) {
    static const auto* const sets = [] {
        auto* levels = new std::array<logging::attribute_set, logging::trivial::fatal + 1>;
        for (std::size_t level = 0; level < levels->size(); ++level) {
            (*levels)[level].insert(names::severity(), logging::attributes::constant<Severity>(
                                                           static_cast<Severity>(level)));
        }
        return levels;
    }();
    return sets->at(static_cast<std::size_t>(severity));
}

// The texts of the records a thread writes, one stream for each record open
// at once (a value streamed into a record may write a record of its own).
class RecordTexts {
public:
    // A stream as a new one is, writing into an empty text. A slot that an
    // earlier record left with text (it could not be closed) starts empty.
    std::ostream& open() {
        if (open_ == texts_.size()) texts_.push_back(std::make_unique<Text>());
        Text& text = *texts_[open_++];
        text.written.clear();
        std::ostream& stream = text.stream.stream();
        stream.clear();
        stream.flags(std::ios_base::dec | std::ios_base::skipws);
        stream.width(0);
        stream.precision(6);
        stream.fill(' ');
        return stream;
    }

    // The text of the record opened last, capped. The stream keeps its
    // memory for the next record, unless a long text made it large; the
    // text has just the memory it needs.
    std::string close() {
        Text& text = *texts_[--open_];
        text.stream.flush();
        std::string record = capRecordText(text.written);
        if (text.written.capacity() > keptCapacity) std::string().swap(text.written);
        return record;
    }

private:
    static constexpr std::size_t keptCapacity = 4096;
    struct Text {
        std::string written;
        logging::formatting_ostream stream{written};
    };
    std::vector<std::unique_ptr<Text>> texts_;
    std::size_t open_ = 0;
};

// What a thread keeps for the records it writes: making it for each record
// costs more than the record.
struct WriterState {
    RecordTexts texts;
    // Where the text of a record that no sink takes goes: a stream without
    // a buffer ignores what it is given.
    std::ostream discarded{nullptr};
    const logging::attribute_value threadId{new logging::attributes::attribute_value_impl<ThreadId>(
        logging::aux::this_thread::get_id())};
};

// Reached through a plain pointer, which outlives the thread's storage: the
// owner frees the state when the thread ends, and a record written after
// that (by the main thread, while the program's statics log their end at
// exit) makes it again, to be kept until the process ends.
thread_local WriterState* writerState = nullptr;

struct WriterStateOwner {
    WriterStateOwner() = default;
    WriterStateOwner(const WriterStateOwner&) = delete;
    WriterStateOwner& operator=(const WriterStateOwner&) = delete;
    ~WriterStateOwner() {
        delete writerState;
        writerState = nullptr;
    }
};
thread_local WriterStateOwner writerStateOwner;

WriterState& threadWriterState() {
    if (writerState == nullptr) {
        writerState = new WriterState;
        static_cast<void>(&writerStateOwner);  // made now, so that it frees the state
    }
    return *writerState;
}

// The thread inside a record's write: a crash there may hold the queue.
thread_local bool writingRecord = false;

class WritingThreadIdImpl : public logging::attribute::impl {
public:
    logging::attribute_value get_value() override { return threadWriterState().threadId; }
};

}  // namespace

logging::attribute writingThreadId() { return logging::attribute(new WritingThreadIdImpl); }

void flush() { logging::core::get()->flush(); }

bool isWritingRecord() noexcept { return writingRecord; }

std::string capRecordText(std::string_view text) {
    if (text.size() <= maxRecordSize) return std::string(text);
    std::string capped(text.substr(0, maxRecordSize));
    capped += " ... (" + std::to_string(text.size() - maxRecordSize) + " bytes cut)";
    return capped;
}

Record::Record(Severity severity) {
    try {
        WriterState& state = threadWriterState();
        stream_ = &state.discarded;
        record_ = logging::core::get()->open_record(severityAttributes(severity));
        if (record_) stream_ = &state.texts.open();
    } catch (...) {
        // A record that cannot be opened is dropped, like one no sink takes;
        // this stream ignores its text for every thread, with nothing kept.
        static std::ostream* const unwritable = new std::ostream(nullptr);
        record_.reset();
        if (stream_ == nullptr) stream_ = unwritable;
    }
}

Record::~Record() {
    if (!record_) return;
    try {
        record_.attribute_values().insert(
            names::message(),
            logging::attributes::make_attribute_value(writerState->texts.close()));
        writingRecord = true;
        logging::core::get()->push_record(std::move(record_));
        writingRecord = false;
    } catch (...) {
        writingRecord = false;
        // A record that cannot be written must not take its writer down.
    }
}

}  // namespace zorva::plugin::log
