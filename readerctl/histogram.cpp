#include "histogram.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double growth = 1.02;
constexpr double firstBound = 1000.0; // 1 µs
const double logGrowth = std::log(growth);
} // namespace

int LatencyHistogram::bucketOf(qint64 nanoseconds)
{
    if (nanoseconds < firstBound)
        return 0;
    const int bucket = 1 + static_cast<int>(std::log(nanoseconds / firstBound) / logGrowth);
    return std::min(bucket, bucketCount - 1);
}

qint64 LatencyHistogram::lowerBound(int bucket)
{
    if (bucket <= 0)
        return 0;
    return static_cast<qint64>(firstBound * std::pow(growth, bucket - 1));
}

void LatencyHistogram::add(qint64 nanoseconds)
{
    nanoseconds = std::max<qint64>(nanoseconds, 0);
    const auto bucket = static_cast<std::size_t>(bucketOf(nanoseconds));
    if (bucket >= m_buckets.size())
        m_buckets.resize(bucket + 1);
    ++m_buckets[bucket];
    if (m_count == 0 || nanoseconds < m_min)
        m_min = nanoseconds;
    m_max = std::max(m_max, nanoseconds);
    ++m_count;
}

qint64 LatencyHistogram::percentile(double fraction) const
{
    if (m_count == 0)
        return 0;
    fraction = std::clamp(fraction, 0.0, 1.0);
    const qint64 rank = std::max<qint64>(1, static_cast<qint64>(std::ceil(fraction * m_count)));
    qint64 seen = 0;
    for (int bucket = 0; bucket < static_cast<int>(m_buckets.size()); ++bucket) {
        seen += m_buckets[static_cast<std::size_t>(bucket)];
        if (seen >= rank) {
            // The middle of the bucket (geometric), which is within 1 % of
            // both its bounds; the exact extremes where they are closer.
            const double middle = bucket == 0 ? 0.0 : lowerBound(bucket) * std::sqrt(growth);
            return std::clamp(static_cast<qint64>(std::llround(middle)), m_min, m_max);
        }
    }
    return m_max;
}

std::vector<LatencyHistogram::Bin> LatencyHistogram::bins(int bins) const
{
    std::vector<Bin> out;
    if (m_count == 0 || bins < 1)
        return out;
    const int first = bucketOf(m_min);
    const int last = bucketOf(m_max);
    const int span = last - first + 1;
    const int width = (span + bins - 1) / bins;
    for (int from = first; from <= last; from += width) {
        const int to = std::min(last, from + width - 1);
        qint64 count = 0;
        for (int bucket = from; bucket <= to; ++bucket)
            count += m_buckets[static_cast<std::size_t>(bucket)];
        out.push_back({std::max(lowerBound(from), m_min), std::min(lowerBound(to + 1), m_max), count});
    }
    return out;
}
