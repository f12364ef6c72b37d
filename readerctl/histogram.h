// Latency of many calls in constant memory: a fixed set of buckets whose
// bounds grow by 2 % each, so that any percentile read back is within 1 % of
// the true sample, whatever the number of calls. The minimum and maximum are
// kept exactly. The buckets are allocated up to the slowest sample's: reports
// copy many histograms with few samples or none (steps not run, a single
// call's report made ready before the call).
#pragma once

#include <QtGlobal>

#include <vector>

class LatencyHistogram
{
public:
    // Buckets cover 1 µs to a little over 1000 s; anything faster lands in the
    // first, anything slower in the last (both still bounded by min and max).
    static constexpr int bucketCount = 1050;

    void add(qint64 nanoseconds);

    qint64 count() const { return m_count; }
    qint64 minimum() const { return m_count ? m_min : 0; }
    qint64 maximum() const { return m_max; }
    // The smallest sample that at least fraction (0 to 1) of the samples do
    // not exceed, within 1 %, in nanoseconds; 0 when there is none.
    qint64 percentile(double fraction) const;

    // Counts merged into at most bins bins of equal width on a logarithmic
    // scale, between the fastest and the slowest sample, for drawing.
    struct Bin
    {
        qint64 from; // nanoseconds
        qint64 to;
        qint64 count;
    };
    std::vector<Bin> bins(int bins) const;

private:
    static int bucketOf(qint64 nanoseconds);
    static qint64 lowerBound(int bucket);

    std::vector<qint64> m_buckets; // counts up to the slowest sample's bucket
    qint64 m_count = 0;
    qint64 m_min = 0;
    qint64 m_max = 0;
};
