// The reminder work of one second for a desktop full of notes: the shared
// ticker recomputes and checks every schedule object at one clock reading, and
// each note window checks once more, reading the clock itself.
#include "reminders/uScheduleObject.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

namespace {

struct TReminder {
    TScheduleType Type;
    const char* V1;
    const char* V2;
    const char* V3;
};

// Mixed kinds, none due in the measured stretch, so the check runs its full path.
const TReminder kMix[] = {
    {stFixedTime, "2030-01-22 09:05:00", "Alarm sound", ""},
    {stEveryHour, "59:59", "Meow", ""},
    {stEveryDay, "23:59:59", "Sea gull", ""},
    {stEveryWeek, "Sunday", "23:59:59", "Vireo call"},
    {stEveryMonth, "31", "23:59:59", "School bell rings"},
    {stEveryWeekByDay, "0000011", "23:59:59", "Electronic alarm"},
    {stNone, "", "", ""},
};

void BM_RemindersPerSecond(benchmark::State& state) {
    const int notes = int(state.range(0));
    std::vector<std::unique_ptr<TScheduleObject>> objects;
    int fired = 0;
    // Monday morning: the weekly and monthly kinds are days away.
    const QDateTime start(QDate(2026, 3, 2), QTime(8, 0, 0));
    for (int i = 0; i < notes; ++i) {
        auto o = std::make_unique<TScheduleObject>();
        o->OnTimeToGo = [&fired] { ++fired; };
        const TReminder& r = kMix[i % std::size(kMix)];
        o->SetScheduleType(r.Type);
        o->SetSchValues(QString::fromLatin1(r.V1), QString::fromLatin1(r.V2), QString::fromLatin1(r.V3),
                        start);
        objects.push_back(std::move(o));
    }
    qint64 second = 0;
    for (auto _ : state) {
        const QDateTime now = start.addMSecs(second * 1000 + 250);
        for (auto& o : objects)
            o->Tick(now);
        for (auto& o : objects)
            o->CheckScheduleStatus();
        ++second;
    }
    benchmark::DoNotOptimize(fired);
    state.counters["notes"] = notes;
}

} // namespace

BENCHMARK(BM_RemindersPerSecond)->Arg(1000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    // The schedule objects own timers, which need an application object.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
