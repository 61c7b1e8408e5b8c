#ifndef BENCH_SAMPLES_H
#define BENCH_SAMPLES_H

#include <cstddef>
#include <vector>

// Measured values of one kind (milliseconds, bytes, ...), with the order
// statistics the report uses.
class Samples {
public:
			void			Add(double value) { fValues.push_back(value); }
			size_t			Count() const { return fValues.size(); }
			bool			IsEmpty() const { return fValues.empty(); }

			// Nearest-rank percentile, 0 < p <= 100; 0 when empty.
			double			Percentile(double p) const;
			double			Median() const { return Percentile(50); }
			double			Min() const;
			double			Max() const;

private:
			std::vector<double> fValues;
};

#endif
