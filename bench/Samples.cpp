#include "Samples.h"

#include <algorithm>
#include <cmath>


double
Samples::Percentile(double p) const
{
	if (fValues.empty())
		return 0;
	std::vector<double> sorted(fValues);
	std::sort(sorted.begin(), sorted.end());
	size_t rank = (size_t)std::ceil(p / 100.0 * sorted.size());
	rank = std::clamp<size_t>(rank, 1, sorted.size());
	return sorted[rank - 1];
}


double
Samples::Min() const
{
	return fValues.empty() ? 0 : *std::min_element(fValues.begin(),
		fValues.end());
}


double
Samples::Max() const
{
	return fValues.empty() ? 0 : *std::max_element(fValues.begin(),
		fValues.end());
}
