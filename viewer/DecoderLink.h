#pragma once
// The program's side of the decoder process: starts it when first needed,
// hands it files, takes its answers, and ends and replaces a process that
// crashed, hangs, or holds up a picture the user waits for.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decoder/Protocol.h"
#include "platform/FileDescriptor.h"

namespace pelumir {

class DecoderLink {
public:
    using Clock = std::chrono::steady_clock;
    // A decode running past this is taken for a hang.
    static constexpr std::chrono::seconds kHangLimit{30};
    // How long a decode no longer wanted may hold up the wanted one before
    // its process is ended (a codec that decodes in one call cannot stop).
    static constexpr std::chrono::milliseconds kDropGrace{100};
    // Deaths in a row after which no process is started until the next show.
    static constexpr int kMaxDeaths = 5;

    // The answer to the wanted decode.
    struct Answer {
        decoding::Reply reply;
        UniqueFd whole;  // the whole picture's memory, when sent
        UniqueFd table;  // with it, the table that turns its colours, when sent
    };

    DecoderLink() = default;
    DecoderLink(const DecoderLink&) = delete;
    DecoderLink& operator=(const DecoderLink&) = delete;
    ~DecoderLink() {
        Stop();
        ReapEnded(true);
    }

    // The executable, pelumir-decoder beside the program's own unless set.
    static void SetExecutable(std::string path);
    static std::string Executable();

    // Asks for `request` (its id is set here) on the open `file`, into the
    // frame memory `frame` (kept open by the caller); any earlier decode is
    // no longer wanted. False when no decoder process can run: Problem()
    // says why, and the caller shows the black frame.
    bool Decode(decoding::Request request, UniqueFd file, int frame);
    // Asks as Decode does, for a request of any answered kind, with up to
    // two descriptors (-1: none).
    bool Ask(decoding::Request request, UniqueFd first, int second);
    // Says what needs no answer, with up to two descriptors (-1: none),
    // to this process and again to any that replaces it before the next
    // request; false when no process can run.
    bool Tell(const decoding::Request& request, int first, int second);
    // The screen's colour profile (empty: sRGB) for the decodes asked from here on.
    void SetScreenProfile(std::vector<uint8_t> profile);
    // Nothing is wanted any more.
    void Cancel();
    bool Waiting() const { return wanted_.has_value(); }
    // Whether the process is still at work on something asked before.
    bool Busy() const { return !unanswered_.empty(); }
    // The wanted decode's answer once it has come, waiting at most `wait`
    // for it. A process that died or hung gives a Failed answer.
    std::optional<Answer> Poll(std::chrono::milliseconds wait);
    // The socket to watch for answers; -1 when no process runs.
    int Socket() const { return socket_.get(); }
    // A new show: processes may be started again after deaths in a row.
    void NewShow() { deaths_ = 0; }
    // Why no process could be started last time one was needed; empty once one runs.
    const std::string& Problem() const { return problem_; }
    // Ends the process.
    void Stop();
    // The process running now, 0 when none (for tests and the bench).
    pid_t Process() const { return pid_; }

private:
    struct Wanted {
        decoding::Request request;
        UniqueFd file;
        int frame = -1;
        Clock::time_point sent;
        bool onProcess = false;  // sent to the process running now
    };
    bool Start();
    bool Send(Wanted& w);
    // The process is gone or ended: the wanted decode is sent again to a
    // new one unless it was the one running, which then fails.
    void Died(bool wantedWasRunning);
    std::optional<Answer> Failed();
    // Collects ended processes, waiting for them or only those gone already.
    void ReapEnded(bool wait);
    // Takes every message waiting; the wanted decode's answer into `answer`.
    void Read(std::optional<Answer>& answer);

    UniqueFd socket_;
    pid_t pid_ = 0;
    std::vector<pid_t> ended_;  // killed, not yet collected
    uint32_t nextId_ = 1;
    // Ids sent to the process running now and not yet answered, oldest first.
    std::vector<uint32_t> unanswered_;
    Clock::time_point supersededAt_;
    std::optional<Wanted> wanted_;
    int deaths_ = 0;
    std::string problem_;
    std::vector<uint8_t> screen_;
    bool screenOnProcess_ = true;  // the process running now has screen_
    // What was said last, with its own copies of the descriptors.
    struct Told {
        decoding::Request request;
        UniqueFd first, second;
    };
    std::optional<Told> told_;
    bool toldOnProcess_ = true;  // the process running now has heard it
};

}  // namespace pelumir
