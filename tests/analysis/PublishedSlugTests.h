#pragma once
// Published slug tests and the published type-curve table the type curves
// are proven against. Values as printed; where they were read is given
// beside each.
#include <vector>

#include "analysis/Samples.h"
#include "record/CFormat.h"
#include "record/TestRecord.h"

namespace publishedslug {

// Cooper, Bredehoeft and Papadopulos (1967), "Response of a finite-diameter
// well to an instantaneous charge of water", Water Resources Research 3(1),
// 263-269, Table 1: H/H0 = F(α, β), α = rw²S/rc², β = Tt/rc² (β as printed,
// 2.15 and 4.64 for 10^(1/3) and 10^(2/3)). As transcribed in the R package
// hydrorecipes (jkennel/hydrorecipes, inst/tinytest/test_step_slug_cbp.R).
// Three values differ from the solution by 2E-4 to 1E-3 (α 0.1, β 0.0464
// reads 0.8283 where the solution gives 0.8293: a transposed digit).
struct CbpValue {
  double alpha, beta, f;
};
inline const std::vector<CbpValue> kCooperTable1{
    {1E-01, 1.00E-03, 0.9771},
    {1E-01, 2.15E-03, 0.9658},
    {1E-01, 4.64E-03, 0.9490},
    {1E-01, 1.00E-02, 0.9238},
    {1E-01, 2.15E-02, 0.8860},
    {1E-01, 4.64E-02, 0.8283},
    {1E-01, 1.00E-01, 0.7460},
    {1E-01, 2.15E-01, 0.6289},
    {1E-01, 4.64E-01, 0.4782},
    {1E-01, 1.00E+00, 0.3117},
    {1E-01, 2.15E+00, 0.1665},
    {1E-01, 4.64E+00, 0.07415},
    {1E-03, 1.00E-03, 0.9969},
    {1E-03, 2.15E-03, 0.9949},
    {1E-03, 4.64E-03, 0.9914},
    {1E-03, 1.00E-02, 0.9853},
    {1E-03, 2.15E-02, 0.9744},
    {1E-03, 4.64E-02, 0.9545},
    {1E-03, 1.00E-01, 0.9183},
    {1E-03, 2.15E-01, 0.8538},
    {1E-03, 4.64E-01, 0.7436},
    {1E-03, 1.00E+00, 0.5729},
    {1E-03, 2.15E+00, 0.3543},
    {1E-03, 4.64E+00, 0.1554},
    {1E-05, 1.00E-03, 0.9992},
    {1E-05, 2.15E-03, 0.9985},
    {1E-05, 4.64E-03, 0.9970},
    {1E-05, 1.00E-02, 0.9942},
    {1E-05, 2.15E-02, 0.9888},
    {1E-05, 4.64E-02, 0.9781},
    {1E-05, 1.00E-01, 0.9572},
    {1E-05, 2.15E-01, 0.9167},
    {1E-05, 4.64E-01, 0.8410},
    {1E-05, 1.00E+00, 0.7080},
    {1E-05, 2.15E+00, 0.5038},
    {1E-05, 4.64E+00, 0.2620}};

// Head displacement s (m) at t (s), falling towards 0, the static level as
// the authors measured it.
using Record = std::vector<tov::Sample>;

// Dawsonville, Georgia: Cooper et al. (1967). Open hole through a confined
// aquifer 24-122 m deep (L = b = 98 m), rw = rc = 0.076 m; the first row is
// H0 = V/(π rc²) for the 10.16 L slug. Published: their type-curve match T
// 5.3 cm²/s, S 1E-3 (K = T/b = 5.41E-6 m/s); the least-squares fit of Yang
// (2020, MSc thesis, TU Delft; tabulated in the TTim documentation,
// mbakker7/ttim docs/03pumpingtests/slug4_dawsonville.ipynb) K 0.4133 m/d =
// 4.784E-6 m/s, Ss 1.9388E-5 1/m, RMSE 4.264 mm. Readings from the TTim
// documentation (docs/03pumpingtests/data/dawsonville_slug.txt).
inline const Record kDawsonville{
    {0.1, 0.56}, {3.0, 0.457}, {6.0, 0.392}, {9.0, 0.345}, {12.0, 0.308}, {15.0, 0.28}, {18.0, 0.252}, {21.0,
    0.224}, {24.0, 0.205}, {27.0, 0.187}, {30.0, 0.168}, {33.0, 0.149}, {36.0, 0.14}, {39.0, 0.131}, {42.0, 0.112},
    {45.0, 0.108}, {48.0, 0.093}, {51.0, 0.089}, {54.0, 0.082}, {57.0, 0.075}, {60.0, 0.071}, {63.0, 0.065}};

// Pratt County Monitoring Site, Kansas: Butler (1998), "The Design,
// Performance, and Analysis of Slug Tests". A partially penetrating well in
// sand and gravel 47.87 m thick, its screen 1.52 m long from 16.77 m below
// the top, rw 0.125 m, rc 0.064 m, H0 0.671 m. Published: the KGS model
// fitted in AQTESOLV, K 4.034 m/d = 4.669E-5 m/s, Ss 3.834E-4 1/m, RMSE
// 2.976 mm (Yang 2020, as tabulated in mbakker7/ttim
// docs/04pumpingtests/slug1_pratt_county.ipynb). Readings from
// docs/03pumpingtests/data/slug.txt there.
inline const Record kPrattCounty{
    {0.1, 0.663}, {0.2, 0.664}, {0.3, 0.656}, {0.4, 0.656}, {0.5, 0.656}, {0.6, 0.656}, {0.7, 0.653}, {0.8, 0.649},
    {0.9, 0.649}, {1.1, 0.649}, {1.2, 0.645}, {1.3, 0.642}, {1.5, 0.653}, {1.6, 0.648}, {1.8, 0.642}, {2, 0.638},
    {2.3, 0.63}, {2.6, 0.627}, {2.9, 0.619}, {3.2, 0.619}, {3.6, 0.616}, {4, 0.608}, {4.5, 0.605}, {5.1, 0.596},
    {5.7, 0.59}, {6.4, 0.587}, {7.1, 0.579}, {8, 0.568}, {9, 0.56}, {10, 0.553}, {11.3, 0.539}, {12.6, 0.531},
    {14.2, 0.517}, {15.9, 0.501}, {17.8, 0.486}, {20, 0.469}, {22.4, 0.45}, {25.2, 0.435}, {28.2, 0.413}, {31.7,
    0.39}, {35.5, 0.368}, {39.9, 0.346}, {44.7, 0.321}, {50.2, 0.295}, {56.3, 0.273}, {63.1, 0.244}, {70.8, 0.221},
    {79.5, 0.191}, {89.2, 0.166}, {100.1, 0.14}, {112.3, 0.118}, {125.9, 0.099}, {141.3, 0.081}, {158.5, 0.059},
    {177.9, 0.051}, {199.6, 0.037}, {223.9, 0.025}, {251.2, 0.019}, {281.9, 0.014}, {316.3, 0.008}, {354.9, 0.008}};

// Well Ln-2: Butler (1998). Fully penetrating a sandy confined aquifer 6.1 m
// thick, rw 0.102 m, rc 0.051 m, H0 2.798 m (not a row). Published (Yang
// 2020, both wells of the test, mbakker7/ttim
// docs/03pumpingtests/slug3_multiwell.ipynb): AQTESOLV K 1.166 m/d =
// 1.350E-5 m/s, Ss 9.368E-6; MLU K 1.311 m/d = 1.517E-5 m/s, Ss 8.197E-6.
// Readings from docs/04pumpingtests/data/ln-2.txt there.
inline const Record kLn2{
    {1.4, 2.661}, {2, 2.689}, {2.6, 2.628}, {3.2, 2.614}, {3.8, 2.584}, {4.4, 2.56}, {5, 2.536}, {5.6, 2.513}, {6.2,
    2.488}, {6.8, 2.468}, {7.4, 2.445}, {8, 2.425}, {8.6, 2.405}, {9.2, 2.383}, {9.8, 2.36}, {10.4, 2.34}, {13.4,
    2.245}, {16.4, 2.154}, {19.4, 2.065}, {22.4, 1.984}, {25.4, 1.909}, {28.4, 1.835}, {31.4, 1.767}, {34.4, 1.703},
    {37.4, 1.638}, {40.4, 1.58}, {43.4, 1.523}, {46.4, 1.469}, {49.4, 1.418}, {52.4, 1.367}, {55.4, 1.319}, {58.4,
    1.276}, {61.4, 1.231}, {64.4, 1.191}, {67.4, 1.15}, {70.4, 1.113}, {73.4, 1.076}, {82.4, 0.997}, {85.4, 0.947},
    {88.4, 0.92}, {91.4, 0.89}, {94.4, 0.862}, {97.4, 0.839}, {100.4, 0.812}, {115.4, 0.703}, {130.4, 0.611},
    {145.4, 0.534}, {160.4, 0.469}, {175.4, 0.414}, {190.4, 0.368}, {205.4, 0.327}, {220.4, 0.293}, {235.4, 0.265},
    {250.4, 0.238}, {265.4, 0.218}, {280.4, 0.198}, {295.4, 0.181}, {310.4, 0.163}, {325.4, 0.15}, {340.4, 0.136},
    {355.4, 0.13}, {370.4, 0.12}, {385.4, 0.113}, {400.4, 0.103}, {415.4, 0.1}, {430.4, 0.093}, {445.4, 0.082},
    {460.4, 0.082}, {475.4, 0.075}, {490.4, 0.072}, {506.4, 0.068}, {525.4, 0.065}, {541.4, 0.062}, {557, 0.058},
    {578.6, 0.055}, {598.4, 0.052}, {613.4, 0.051}, {628.4, 0.048}, {643.4, 0.045}, {666.2, 0.042}, {681.2, 0.041}};

// Lincoln County, Kansas: Butler (1998), Table 5.2, pp. 61-62; a monitoring
// well in mudstone interbedded with very fine sandstone, rw 0.071 m, rc
// 0.025 m. Normalized head H/H0 only (H0, screen and layer thickness not
// given; taken here as b = 1 m, so that K stands for T and Ss for S).
// Published: the Cooper et al. type-curve match α 0.0125, T 1.23E-8 m²/s
// (randlab/hytool csl_dmo.m, readings csl_ds1.dat).
inline const Record kLincolnCounty{
    {3.0, 0.999}, {6.0, 0.999}, {9.2, 0.999}, {12.3, 0.998}, {15.6, 0.999}, {18.9, 0.999}, {22.3, 0.998}, {25.8,
    0.998}, {29.4, 0.998}, {36.8, 0.997}, {40.7, 0.997}, {48.6, 0.996}, {56.9, 0.995}, {65.6, 0.994}, {74.8, 0.994},
    {89.3, 0.992}, {104.9, 0.991}, {121.6, 0.988}, {139.5, 0.987}, {158.7, 0.986}, {186.4, 0.984}, {216.9, 0.982},
    {259.2, 0.979}, {296.8, 0.977}, {348.9, 0.974}, {407.5, 0.972}, {473.3, 0.968}, {547.3, 0.965}, {648.1, 0.961},
    {743.6, 0.958}, {873.8, 0.954}, {1023.6, 0.949}, {1195.8, 0.944}, {1393.8, 0.939}, {1621.4, 0.933}, {2277.9,
    0.914}, {2517.9, 0.908}, {2997.9, 0.897}, {3477.9, 0.887}, {4197.9, 0.872}, {4677.9, 0.863}, {5637.9, 0.847},
    {6357.9, 0.834}, {7557.9, 0.815}, {8757.9, 0.795}, {10198, 0.773}, {11878, 0.748}, {13798, 0.719}, {15958,
    0.689}, {18598, 0.655}, {21718, 0.623}, {25318, 0.592}, {29398, 0.56}, {34198, 0.527}, {39958, 0.491}, {46438,
    0.455}, {54118, 0.418}, {63238, 0.380}, {73798, 0.341}, {85798, 0.303}, {100200, 0.263}, {116760, 0.227},
    {135960, 0.194}, {158520, 0.161}, {184920, 0.130}, {215640, 0.101}, {251400, 0.079}, {292920, 0.060}, {341640,
    0.045}};

// A record as typed from a published one: the basic formula with its L, D
// and de (m), h' from a pipe top at 0 to 1 mm, ho 10 m below it.
inline tov::TestRecord typedRecord(const Record& rows, double length, double bore, double pipe) {
  using namespace tov;
  TestRecord record;
  record.setField(F_formulaKind, "1");
  record.setField(F_sectionLength, cformat("%g", length));
  record.setField(F_boreDiameter, cformat("%g", bore));
  record.setField(F_equivalentDiameter, cformat("%g", pipe));
  record.setField(F_pipeTopHeight, "0");
  record.setField(F_equilibriumLevel, "-10.000");
  int row = 1;
  for (const Sample& p : rows) {
    record.setCell(row, C_time, cformat("%g", p.t));
    record.setCell(row++, C_pipeLevel, cformat("%.3f", 10.0 - p.s));
  }
  record.deriveAllRows();
  return record;
}

} // namespace publishedslug
