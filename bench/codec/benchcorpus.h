#pragma once
// Photo corpora for the codec benchmarks, made on the spot: a few distinct camera-like JPEGs
// (noise pixels, so sizes match real photos; camera EXIF, maker note, thumbnail) copied under
// numbered names.

#include "bench/benchstats.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <functional>
#include <limits>
#include <vector>

struct CorpusSpec {
    int count = 0;
    int minWidth = 0; // the distinct bases spread from minWidth to maxWidth, 3:2
    int maxWidth = 0;
    bool withGps = false;
};

// The files, sorted; empty when a file could not be made.
QStringList makeCorpus(const QString& dir, const QString& prefix, const CorpusSpec& recipe);

qint64 totalBytes(const QStringList& files);

// One timed job; prepare runs untimed before each of its runs (emptying output folders).
struct Contender {
    std::function<void()> prepare;
    std::function<bool()> job;
    double bestMs = std::numeric_limits<double>::infinity(); // NaN once a run failed
};

// Runs every contender once per round, in turn and each after a sync, so that drift in the
// machine's load falls on all alike; keeps each one's fastest run.
void race(int rounds, const std::vector<Contender*>& contenders);

// Empties (or creates) a folder. Each run of a contender replaces its previous output, so the
// page cache holds one copy per contender, as in a batch that rewrites its results folder.
void resetFolder(const QString& dir);

// Runs a program and waits for it; false when it failed to start or exited non-zero.
bool runProgram(const QString& program, const QStringList& arguments);

// One run of a program with its output thrown away: wall time from spawn to exit, and the
// processor time and peak resident memory the kernel counted for it (through /usr/bin/time;
// -1 without it). On a shared machine the processor time is the steadier of the two.
struct ProgramRun {
    bool ok = false; // started and exited with status 0
    double ms = 0;
    double cpuMs = -1; // user and system, all threads
    long peakKiB = -1;
};
ProgramRun timeProgram(const QString& program, const QStringList& arguments);
