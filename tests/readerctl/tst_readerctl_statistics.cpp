// Latency statistics: percentiles within 1 % of the exact sample, in the
// same memory whatever the count.
#include "histogram.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

class ReaderctlStatistics : public QObject
{
    Q_OBJECT
private slots:
    void percentiles_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<int>("count");
        QTest::newRow("one sample") << "constant" << 1;
        QTest::newRow("uniform 0.1-50 ms") << "uniform" << 20000;
        QTest::newRow("long tail") << "tail" << 20000;
        QTest::newRow("below a microsecond") << "tiny" << 1000;
        QTest::newRow("two clusters") << "bimodal" << 5001;
    }
    void percentiles()
    {
        QFETCH(QString, shape);
        QFETCH(int, count);
        QRandomGenerator random(42);
        std::vector<qint64> samples;
        LatencyHistogram histogram;
        for (int i = 0; i < count; ++i) {
            const double u = random.generateDouble();
            qint64 ns = 3'000'000;
            if (shape == "uniform")
                ns = static_cast<qint64>(1e5 + u * 5e7);
            else if (shape == "tail")
                ns = static_cast<qint64>(2e6 / std::pow(1.0 - u * 0.999, 1.5));
            else if (shape == "tiny")
                ns = static_cast<qint64>(u * 900);
            else if (shape == "bimodal")
                ns = i % 2 ? 1'000'000 + i : 900'000'000 + i;
            samples.push_back(ns);
            histogram.add(ns);
        }
        std::sort(samples.begin(), samples.end());
        QCOMPARE(histogram.count(), count);
        QCOMPARE(histogram.minimum(), samples.front());
        QCOMPARE(histogram.maximum(), samples.back());
        for (double p : {0.5, 0.95, 0.99, 1.0}) {
            const qint64 rank = std::max<qint64>(1, static_cast<qint64>(std::ceil(p * count)));
            const double exact = static_cast<double>(samples[static_cast<std::size_t>(rank - 1)]);
            const double got = static_cast<double>(histogram.percentile(p));
            // Within 1 %, or within a microsecond where the first bucket holds it.
            QVERIFY2(std::abs(got - exact) <= std::max(exact * 0.01, shape == "tiny" ? 1000.0 : 0.0),
                     qPrintable(QStringLiteral("p%1: %2 against %3").arg(p * 100).arg(got).arg(exact)));
        }
        qint64 binned = 0;
        for (const LatencyHistogram::Bin &bin : histogram.bins(24)) {
            QVERIFY(bin.from <= bin.to);
            binned += bin.count;
        }
        QCOMPARE(binned, histogram.count());
        QVERIFY(histogram.bins(24).size() <= 24);
    }

    // Nothing grows with the count: the histogram is one fixed object.
    void constantSize()
    {
        LatencyHistogram histogram;
        for (qint64 i = 0; i < 2'000'000; ++i)
            histogram.add(i * 997 % 5'000'000'000LL);
        QCOMPARE(histogram.count(), 2'000'000);
        QVERIFY(sizeof(LatencyHistogram) < 9 * 1024);
    }
};

QTEST_APPLESS_MAIN(ReaderctlStatistics)
#include "tst_readerctl_statistics.moc"
