#include "inverse_dct_tables.h"

namespace halvaris {

namespace {
constexpr RowWeights kGroup4 = {22725, 21407, 19266, 16384, 12873, 8867, 4520};
constexpr RowWeights kGroup1 = {31521, 29692, 26722, 22725, 17855, 12299, 6270};
constexpr RowWeights kGroup2 = {29692, 27969, 25172, 21407, 16819, 11585, 5906};
constexpr RowWeights kGroup3 = {26722, 25172, 22654, 19266, 15137, 10426, 5315};
}  // namespace

const RowWeights kRowWeights[8] = {kGroup4, kGroup1, kGroup2, kGroup3,
                                   kGroup4, kGroup3, kGroup2, kGroup1};

const std::int32_t kRowRounding[8] = {65536, 3597, 2260, 1203, 0, 120, 512, 512};

}  // namespace halvaris
