#include "CopyWindow.h"

#include <algorithm>
#include <cmath>

namespace rbx {

void CopyWindow::measured(std::size_t answers, double seconds)
{
    if (answers < 2 || seconds <= 0 || m_first <= 0 || m_size < 2)
        return;
    // With a window of W and a round trip R, W copies take R + W·c: answers / seconds is
    // W / (R + W·c), and the first copy took R + c.
    const double window = double(m_size);
    const double work = (window * seconds / double(answers) - m_first) / (window - 1);
    if (!(work > 0) || !std::isfinite(work))
        return;
    const double roundTrip = std::max(0.0, m_first - work);
    const double wanted = 8 * roundTrip / work + double(Least);
    m_size = std::size_t(std::clamp(std::ceil(wanted), double(Least), double(Most)));
}

} // namespace rbx
