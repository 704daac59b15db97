#include "pvtrun.h"

#include "numtext.h"
#include "texts.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mvx {

namespace {

// Rows shorter than this are not written; their displacement goes into the next row.
constexpr double kMinRowDuration = 1e-4;
// More sub-rows than this for one arc portion would only come from a nonsense angular step.
constexpr double kMaxSubRows = 100000.0;

}  // namespace

namespace {

// At most three pieces: speed change, cruise, speed change.
struct Profile {
    std::array<PvtSegment, 3> Pieces{};
    std::size_t Count = 0;

    void push_back(const PvtSegment& s) { Pieces[Count++] = s; }
    std::size_t size() const noexcept { return Count; }
    const PvtSegment& operator[](std::size_t k) const noexcept { return Pieces[k]; }
};

Profile SpeedProfile(double L, double u, double o, double w, double a)
{
    Profile out;
    if (!(L > 0.0) || !std::isfinite(L)) return out;
    u = std::fabs(u);
    o = std::fabs(o);
    w = std::fabs(w);
    if (!(a > 0.0) || !std::isfinite(a)) a = 1e-9;

    auto push = [&](double len, double end, double dt) {
        if (len > 0.0) out.push_back({len, end, dt});
    };

    if (o > 0.0) {
        const double t1 = std::fabs(o - u) / a;
        const double d1 = o > u ? a * t1 * t1 / 2 + u * t1 : -a * t1 * t1 / 2 + u * t1;
        const double t3 = std::fabs(w - o) / a;
        const double d3 = o > w ? -a * t3 * t3 / 2 + o * t3 : a * t3 * t3 / 2 + o * t3;
        if (L > d1 + d3) {
            const double cruise = L - d1 - d3;
            push(d1, o, t1);
            push(cruise, o, cruise / o);
            push(L - d1 - cruise, w, t3);
            return out;
        }
    }

    // No cruise: up to the peak speed that the length allows, then down to the exit speed.
    const double p = std::sqrt((u * u + w * w + 2 * a * L) / 2);
    if (p >= u && p >= w) {
        // Both halves from the peak: their lengths sum to L by construction, so the choice never
        // depends on rounding and a move from rest to rest never gets a zero duration.
        const double t1 = (p - u) / a;
        const double d1 = std::min(L, (p * p - u * u) / (2 * a));
        const double t3 = (p - w) / a;
        push(d1, p, t1);
        push(L - d1, w, t3);
    } else {
        // Too short to change speed at this acceleration: one even change from u to w.
        push(L, w, 2 * L / (u + w));
    }
    return out;
}

}  // namespace

std::vector<PvtSegment> PvtSpeedProfile(double L, double u, double o, double w, double a)
{
    const Profile p = SpeedProfile(L, u, o, w, a);
    return {p.Pieces.begin(), p.Pieces.begin() + static_cast<std::ptrdiff_t>(p.Count)};
}

PvtRunBuilder::PvtRunBuilder(const MachineConfig& config) { Configure(config); }

void PvtRunBuilder::Configure(const MachineConfig& config)
{
    mAcceleration = config.PvtAcceleration;
    mAngularStep = config.AngularStep;
    mDigits = config.NbDigitPvt;
    mAxes = config.XYGroupOnly ? 2 : 3;
    Clear();
}

void PvtRunBuilder::Clear()
{
    mText.clear();
    mElements = 0;
    mTarget = {0.0, 0.0, 0.0};
    mWritten = {0.0, 0.0, 0.0};
}

void PvtRunBuilder::AddStraight(const std::array<double, 3>& delta, double entry, double cruise, double exit)
{
    const double L = std::sqrt(delta[0] * delta[0] + delta[1] * delta[1] + delta[2] * delta[2]);
    if (mElements == 0) entry = 0.0;
    if (!(L > 0.0)) return;  // nothing to move, and nothing to divide by
    ++mElements;

    const Profile segments = SpeedProfile(L, entry, cruise, exit, mAcceleration);
    std::array<double, 3> done{0.0, 0.0, 0.0};
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const PvtSegment& s = segments[k];
        std::array<double, 3> d{}, v{};
        for (std::size_t ax = 0; ax < 3; ++ax) {
            const double unit = delta[ax] / L;
            // The last row takes what is left, so the rows add up to the move exactly.
            d[ax] = k + 1 == segments.size() ? delta[ax] - done[ax] : s.Length * unit;
            v[ax] = s.EndSpeed * unit;
            done[ax] += d[ax];
        }
        AddRow(s.Duration, d, v);
    }
}

void PvtRunBuilder::AddArc(double i, double j, double sweep, double entry, double cruise, double exit)
{
    const double r = std::sqrt(i * i + j * j);
    const double L = std::fabs(r * sweep);
    if (mElements == 0) entry = 0.0;
    if (!(L > 0.0) || !std::isfinite(L)) return;
    ++mElements;

    const double a0 = std::atan2(-j, -i);
    const bool ccw = sweep >= 0.0;
    // Points relative to the arc's start; the start itself is exactly (0, 0).
    auto point = [&](double theta) { return std::array<double, 2>{i + r * std::cos(theta), j + r * std::sin(theta)}; };
    std::array<double, 2> prev{0.0, 0.0};

    const Profile segments = SpeedProfile(L, entry, cruise, exit, mAcceleration);
    double s0 = 0.0;
    double startSpeed = entry;
    const double step = mAngularStep;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const PvtSegment& seg = segments[k];
        const bool lastSegment = k + 1 == segments.size();
        const double portion = sweep * seg.Length / L;
        double parts = 0.0;
        if (step > 0.0 && std::isfinite(step)) parts = std::min(std::trunc(std::fabs(portion) / step), kMaxSubRows);
        const int n = static_cast<int>(parts) + 1;
        const double base = a0 + sweep * s0 / L;
        for (int sub = 1; sub <= n; ++sub) {
            const double theta = lastSegment && sub == n ? a0 + sweep : base + portion * sub / n;
            const auto p = point(theta);
            const double speed = startSpeed + sub * (seg.EndSpeed - startSpeed) / n;
            const double tx = ccw ? -std::sin(theta) : std::sin(theta);
            const double ty = ccw ? std::cos(theta) : -std::cos(theta);
            AddRow(seg.Duration / n, {p[0] - prev[0], p[1] - prev[1], 0.0}, {tx * speed, ty * speed, 0.0});
            prev = p;
        }
        s0 += seg.Length;
        startSpeed = seg.EndSpeed;
    }
}

void PvtRunBuilder::AddRow(double dt, const std::array<double, 3>& d, const std::array<double, 3>& v)
{
    for (std::size_t ax = 0; ax < 3; ++ax) mTarget[ax] += d[ax];
    if (!(dt >= kMinRowDuration)) return;  // carried into the next row
    Emit(dt, v, false);
}

// The closing row has a fixed short duration and rest speeds.
void PvtRunBuilder::Emit(double dt, const std::array<double, 3>& v, bool closingRow)
{
    const int np = mDigits;
    const std::size_t axes = mAxes;
    if (closingRow) mText += "0.0004";
    else num::appendFixed(mText, dt, 6);
    for (std::size_t ax = 0; ax < axes; ++ax) {
        mText.push_back(' ');
        mWritten[ax] += num::appendFixedRead(mText, mTarget[ax] - mWritten[ax], np);
        mText.push_back(' ');
        if (closingRow) mText += "0.00";
        else num::appendFixed(mText, v[ax], np);
    }
    mText.push_back('\n');
}

std::string PvtRunBuilder::Close()
{
    const int np = mDigits;
    const std::size_t axes = mAxes;
    const std::string zero = num::fixed(0.0, np);
    bool carried = false;
    for (std::size_t ax = 0; ax < axes; ++ax)
        if (num::fixed(mTarget[ax] - mWritten[ax], np) != zero) carried = true;
    if (carried) Emit(0.0, {0.0, 0.0, 0.0}, true);
    std::string text(mText);  // exact size; the buffer stays for the next run
    Clear();
    if (mText.capacity() > (std::size_t{8} << 20)) std::string().swap(mText);  // but not a huge one
    return text;
}

std::string PvtRunText(const PvtRunPlan& plan, const MachineConfig& config)
{
    // One builder per thread: its text buffer serves every run the thread makes.
    thread_local PvtRunBuilder run;
    run.Configure(config);
    for (const PvtPiece& p : plan) {
        if (p.Arc) run.AddArc(p.A, p.B, p.C, p.Entry, p.Cruise, p.Exit);
        else run.AddStraight({p.A, p.B, p.C}, p.Entry, p.Cruise, p.Exit);
    }
    return run.Close();
}

// ---------------------------------------------------------------------------------------------
// PvtFileMaker

namespace {

// Below this many pieces in all, files are made on the conversion's thread: threads would cost
// more than they save.
constexpr std::size_t kPiecesBeforeWorkers = 512;
// Pieces waiting at most: the conversion waits beyond, so a fast pass never queues a whole job.
constexpr std::size_t kMaxQueuedPieces = 1u << 18;
// Pieces (a run counts one more) handed to the workers at a time.
constexpr std::size_t kPiecesPerBatch = 512;

unsigned workerCount()
{
    const unsigned hw = std::thread::hardware_concurrency();
    return std::clamp(hw > 1 ? hw - 1 : 1u, 1u, 8u);
}

}  // namespace

PvtFileMaker::PvtFileMaker(const MachineConfig& config, Sink sink) : mConfig(config), mSink(std::move(sink)) {}

PvtFileMaker::~PvtFileMaker()
{
    try {
        Finish();
    } catch (...) {
        // A destructor reached by an exception of its own: nothing to add to it.
    }
}

void PvtFileMaker::Make(PvtFile& file, const PvtRunPlan& plan)
{
    if (mFailed.load(std::memory_order_relaxed)) return;  // the conversion is ending
    file.Text = PvtRunText(plan, mConfig);
    if (!mSink) return;
    if (!mSink(file)) mFailed.store(true, std::memory_order_relaxed);
    std::string().swap(file.Text);
}

void PvtFileMaker::Submit(std::string name, PvtRunPlan plan)
{
    mFiles.push_back({std::move(name), {}});
    PvtFile& file = mFiles.back();
    mSubmittedPieces += plan.size();
    if (mWorkers.empty() && mSubmittedPieces < kPiecesBeforeWorkers) {
        Make(file, plan);
        return;
    }
    if (mWorkers.empty()) StartWorker();
    mBatchPieces += plan.size() + 1;
    mBatch.push_back({&file, std::move(plan)});
    if (mBatchPieces >= kPiecesPerBatch) Flush();
}

void PvtFileMaker::Flush()
{
    if (mBatch.empty()) return;
    bool wake = false, more = false;
    {
        std::unique_lock lock(mMutex);
        mRoom.wait(lock, [&] { return mQueuedPieces < kMaxQueuedPieces || mError; });
        mQueuedPieces += mBatchPieces;
        mQueue.push_back(std::move(mBatch));
        wake = mIdle > 0;
        // Work waits with every worker busy: one more, up to the machine's threads. A small job
        // never pays for threads it cannot keep busy.
        more = !wake && mQueue.size() > 1 && mWorkers.size() < workerCount();
    }
    mBatch = Batch();
    mBatchPieces = 0;
    if (wake) mWake.notify_one();
    if (more) StartWorker();
}

void PvtFileMaker::StartWorker() { mWorkers.emplace_back([this] { Work(); }); }

void PvtFileMaker::Work()
{
    for (;;) {
        Batch batch;
        std::size_t pieces = 0;
        {
            std::unique_lock lock(mMutex);
            ++mIdle;
            mWake.wait(lock, [&] { return !mQueue.empty() || mFinishing; });
            --mIdle;
            if (mQueue.empty()) return;
            batch = std::move(mQueue.front());
            mQueue.pop_front();
            // More work waiting: another idle worker may take it.
            if (!mQueue.empty() && mIdle > 0) mWake.notify_one();
        }
        for (Job& job : batch) {
            pieces += job.Plan.size() + 1;
            try {
                Make(*job.File, job.Plan);
            } catch (...) {
                // No exception leaves a worker: the conversion's thread throws it again.
                std::lock_guard lock(mMutex);
                if (!mError) mError = std::current_exception();
                mFailed.store(true, std::memory_order_relaxed);
            }
            PvtRunPlan().swap(job.Plan);
        }
        {
            std::lock_guard lock(mMutex);
            mQueuedPieces -= pieces;
        }
        mRoom.notify_one();
    }
}

std::vector<PvtFile> PvtFileMaker::Finish()
{
    if (!mWorkers.empty()) {
        Flush();
        {
            std::lock_guard lock(mMutex);
            mFinishing = true;
        }
        mWake.notify_all();
        for (std::thread& t : mWorkers) t.join();
        mWorkers.clear();
        mFinishing = false;
    }
    if (mError) {
        std::exception_ptr e = mError;
        mError = nullptr;
        std::rethrow_exception(e);
    }
    std::vector<PvtFile> files(std::make_move_iterator(mFiles.begin()), std::make_move_iterator(mFiles.end()));
    mFiles.clear();
    return files;
}

}  // namespace mvx
