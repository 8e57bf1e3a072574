// catalogue_data.cpp -- the 45 built-in bikes: chassis, suspension and engine by class.
//
// Models of one class share frame, suspension and engine and differ in gearing and files.
// The class numbers stand for these real machines; figures are rounded published
// specifications and dyno results as commonly quoted for the 2006-2013 bikes:
//
// | class | stands for                    | dry mass | travel f/r  | peak power       | rev limit |
// |-------|-------------------------------|----------|-------------|------------------|-----------|
// | 450f  | CRF450R, KX450F, RM-Z450,     | 231 lb   | 12.2/12.4in | 55 hp @ 9,500    | 12,000    |
// |       | YZ450F, 450 SX-F (2011-2013)  |          |             | 34 ft·lbf @ 7,000|           |
// | 250f  | CRF250R, KX250F, RM-Z250,     | 215 lb   | 12.2/12.4in | 40 hp @ 11,500   | 13,250    |
// |       | YZ250F, 250 SX-F (2007-2013)  |          |             | 19 ft·lbf @ 9,000|           |
// | 250   | CR250R, KX250, RM250, YZ250,  | 219 lb   | 11.8/12.4in | 47 hp @ 8,000    | 10,500    |
// |       | 250 SX (two-strokes)          |          |             | 31 ft·lbf @ 8,000|           |
// | 125   | CR125R, KX125, RM125, YZ125,  | 196 lb   | 11.8/12.4in | 36 hp @ 11,500   | 12,750    |
// |       | 125 SX (two-strokes)          |          |             | 16.5 @ 11,000    | rm 13,750 |
// | 50    | a 125 chassis with a 50 cc    | 186 lb   | 9.8/11.0in  | 8.5 hp @ 11,000  | 12,750    |
// |       | race two-stroke (derestricted |          |             | 4 ft·lbf @ 11,000| rs50rm    |
// |       | sports-moped engine)          |          |             |                  | 13,750    |
//
// The 350 SX-F rides as a 250f (2013) or a 450f (2011) with its class's curves and the heavier
// crank of the two-stroke 250s.
//
// Where the numbers go:
// - The rest positions are shared by every model: a 58.7 in wheelbase (front axle at z = 1.11 ft,
//   rear at z = 6 ft), a 26.8 degree rake (upper fork above and behind the sliders) and the
//   swingarm pivot 25.3 in ahead of the rear axle. The wheels are an 80/100-21 front and a
//   110/90-19 rear whose outer radius equals their rest height, so a bike at rest just touches.
// - Dry mass splits into the frame body (the class masses), two wheels (20 and 26 lb), two fork
//   bodies and the swingarm; the 170 lb rider is shared.
// - Spring ranges are centred on the stock rates (450f: 0.48 kg/mm per fork leg, 5.7 kg/mm
//   shock); the other classes scale the 450f range by their stock rates (250f 0.46 / 5.3,
//   250 0.44 / 5.0, 125 0.41 / 4.6, 50 0.38 / 4.2). Damping bases give about half of critical
//   damping at setup 50, fork rebound in the shock's rebound-to-compression proportion.
// - Swingarm travel is rear wheel travel over swingarm length; the linkage rises 50 % from the
//   top of the stroke to the bottom, so a 170 lb rider sags about a third of the travel.
// - Full-throttle torque comes from the class's power curve (anchors below, hp against rpm,
//   linear in power between them: torque = hp x 5252.113 / rpm), so its peak power lands on the
//   500 rpm grid at the real engine speed. Past the last anchor the full-throttle curve is the
//   closed-throttle one: the rev limiter. The closed-throttle curve holds the engine at idle and
//   brakes it above (a big four-stroke single brakes hardest, a 50 hardly at all).
// - Gearing: primary ratio, five gears and stock sprockets as published where known (the
//   crf450(2013) figures exactly); elsewhere chosen so the overall top-gear ratio gives the
//   class's real top speed at the rev limit (450f about 95 mph, 250f and 250 about 80,
//   125 about 75, 50 about 50). Older model years differ by a tooth on the rear sprocket.
// - Driveline stiffness lets the clutch (which slips at a quarter turn of wind-up) hold about
//   twice the class's first-gear wheel torque.
#include <array>

#include "shell/catalogue.h"
#include "shell/settings.h"

namespace shell {
namespace {

constexpr float kHpTorque = 5252.113f;  // ft·lbf x rpm per hp

struct PowerPoint {
  float rpm;
  float hp;
};

// Everything the models of one class share.
struct ClassSpec {
  const char* name;
  float frame_mass;        // slugs
  float fork_rate_scale;   // of the 450f fork spring range
  float shock_rate_scale;  // of the 450f shock spring range
  float fork_travel;       // ft
  float rear_travel;       // ft, at the axle
  float fork_compression;  // lbf per ft/s
  float fork_rebound;
  float shock_compression;
  float shock_rebound;
  float driveline_stiffness;  // ft·lbf/rad
  float driveline_damping;    // ft·lbf per rad/s
  float engine_inertia;       // slug·ft²
  float idle_rpm;
  float idle_torque;                 // ft·lbf at 0 rpm with the throttle closed
  float engine_braking;              // ft·lbf per 1000 rpm above idle, throttle closed
  float shift_rpm[3];                // down-shift, up-shift, rev limit
  std::array<PowerPoint, 16> power;  // ascending; unused points have rpm 0
};

constexpr ClassSpec k450f = {"450f",
                             4.735f,
                             1.0f,
                             1.0f,
                             1.0167f,
                             1.0333f,
                             65,
                             53,
                             800,
                             650,
                             2000,
                             0.5f,
                             0.0088501f,
                             1900,
                             6,
                             1.0f,
                             {6000, 10500, 12000},
                             {{{1000, 4},
                               {2000, 9},
                               {3000, 15},
                               {4000, 21.5f},
                               {5000, 29},
                               {6000, 37},
                               {7000, 45},
                               {8000, 51},
                               {9000, 54.5f},
                               {9500, 55},
                               {10000, 54.5f},
                               {11000, 51},
                               {12000, 45}}}};

constexpr ClassSpec k250f = {"250f",
                             4.24f,
                             0.958f,
                             0.93f,
                             1.0167f,
                             1.0333f,
                             60,
                             45,
                             800,
                             600,
                             1500,
                             0.4f,
                             0.00488281f,
                             2000,
                             3,
                             0.7f,
                             {8000, 12500, 13250},
                             {{{1000, 2},
                               {2000, 4.5f},
                               {3000, 7.5f},
                               {4000, 11},
                               {5000, 15},
                               {6000, 19.5f},
                               {7000, 24},
                               {8000, 28.5f},
                               {9000, 32.5f},
                               {10000, 36},
                               {11000, 39},
                               {11500, 40},
                               {12000, 39.5f},
                               {12500, 38},
                               {13000, 35.5f},
                               {13500, 32}}}};

constexpr ClassSpec k250 = {"250",
                            4.36562f,
                            0.917f,
                            0.877f,
                            0.9843f,
                            1.0333f,
                            60,
                            45,
                            800,
                            600,
                            1800,
                            0.45f,
                            0.00683594f,
                            1600,
                            4,
                            0.5f,
                            {6000, 9000, 10500},
                            {{{1000, 2.5f},
                              {2000, 5.5f},
                              {3000, 9.5f},
                              {4000, 15},
                              {5000, 22.5f},
                              {6000, 31},
                              {7000, 40},
                              {7500, 44},
                              {8000, 47},
                              {8500, 46},
                              {9000, 43.5f},
                              {10000, 36},
                              {10500, 31}}}};

constexpr ClassSpec k125 = {"125",
                            3.65375f,
                            0.854f,
                            0.807f,
                            0.9843f,
                            1.0333f,
                            55,
                            41,
                            800,
                            600,
                            1200,
                            0.35f,
                            0.00488281f,
                            1800,
                            2,
                            0.35f,
                            {9400, 12000, 12750},
                            {{{1000, 1},
                              {2000, 2.5f},
                              {3000, 4},
                              {4000, 6},
                              {5000, 8.5f},
                              {6000, 11.5f},
                              {7000, 15},
                              {8000, 19},
                              {9000, 24},
                              {10000, 29.5f},
                              {10500, 32},
                              {11000, 34.5f},
                              {11500, 36},
                              {12000, 35},
                              {13000, 30},
                              {14000, 21}}}};

constexpr ClassSpec k50 = {"50",
                           3.34125f,
                           0.79f,
                           0.737f,
                           0.8202f,
                           0.9186f,
                           50,
                           38,
                           800,
                           600,
                           400,
                           0.15f,
                           0.00119358f,
                           1800,
                           0.6f,
                           0.12f,
                           {9400, 12000, 12750},
                           {{{1000, 0.3f},
                             {2000, 0.7f},
                             {3000, 1.2f},
                             {4000, 1.8f},
                             {5000, 2.6f},
                             {6000, 3.5f},
                             {7000, 4.6f},
                             {8000, 5.8f},
                             {9000, 7.1f},
                             {10000, 8.1f},
                             {10500, 8.4f},
                             {11000, 8.5f},
                             {11500, 8.3f},
                             {12000, 7.8f},
                             {13000, 6.3f},
                             {14000, 4.5f}}}};

// The 350 SX-F keeps its class's engine curves but carries the heavier crank of the
// two-stroke 250s.
constexpr float k350Inertia = 0.00683594f;

struct Gearing {
  float primary;
  float gears[5];
  float countershaft;  // teeth
  float rear;          // teeth
};

constexpr float closed_torque(const ClassSpec& c, float rpm) {
  if (rpm < c.idle_rpm) return c.idle_torque * (1 - rpm / c.idle_rpm);
  return -c.engine_braking * (rpm - c.idle_rpm) / 1000;
}

constexpr float full_torque(const ClassSpec& c, float rpm) {
  const PowerPoint* p = c.power.data();
  int count = 0;
  while (count < static_cast<int>(c.power.size()) && p[count].rpm > 0) ++count;
  if (rpm > p[count - 1].rpm) return closed_torque(c, rpm);  // the rev limiter
  if (rpm <= p[0].rpm) {
    // Below the first point the torque sags towards stall.
    const float at_first = p[0].hp * kHpTorque / p[0].rpm;
    return at_first * (0.6f + 0.4f * rpm / p[0].rpm);
  }
  int i = 1;
  while (p[i].rpm < rpm) ++i;
  const float f = (rpm - p[i - 1].rpm) / (p[i].rpm - p[i - 1].rpm);
  const float hp = p[i - 1].hp + (p[i].hp - p[i - 1].hp) * f;
  return hp * kHpTorque / rpm;
}

constexpr BikeInfo make_bike(const char* name, const ClassSpec& c, const Gearing& g,
                             const std::array<const char*, kBikeFiles>& files, float inertia = 0,
                             float rev_limit = 0);

constexpr RiderInfo kRider = {2.1f, 1.0f, 0.95f, 1.45f, 1.5f, 0.35f};

// Rider contact points shared by every model.
constexpr RiderContacts kContacts = {
    {0.556f, 0.580375f, -0.654514f},  // hand
    {0.62f, 0.58f, -0.25f},           // handlebar, from the upper fork
    {0.45f, -2.55f, -0.35f},          // foot
    {0.42f, -0.72f, 0.45f},           // footpeg, from the frame
    {0.5f, -1.35f, -0.75f},           // knee
    {0.0f, 1.05f, 0.6f},              // seat, from the frame
    {0.0f, 1.55f, -0.2f},             // head
    {0.0f, 0.9f, 0.0f},               // rider tether
    {0.0f, 0.55f, 0.0f},              // steering tether
    {0.6f, 0.85f, 0.0f},              // shoulder
    0.9f,                             // foot reach
};

constexpr BikeInfo make_bike(const char* name, const ClassSpec& c, const Gearing& g,
                             const std::array<const char*, kBikeFiles>& files, float inertia,
                             float rev_limit) {
  BikeInfo b{};
  b.name = name;
  b.bike_class = c.name;
  BikeConstants& k = b.constants;
  const float rest[6][3] = {{0, 1.98f, 3.6f}, {0, 1.09f, 1.11f}, {0, 1.04f, 6.0f},
                            {0, 2.9f, 2.16f}, {0, 1.34f, 4.99f}, {0, 1.77f, 1.59f}};
  for (int i = 0; i < 3; ++i) {
    k.frame_position[i] = rest[0][i];
    k.front_wheel_position[i] = rest[1][i];
    k.rear_wheel_position[i] = rest[2][i];
    k.steering_head_position[i] = rest[3][i];
    k.swingarm_position[i] = rest[4][i];
    k.fork_lower_position[i] = rest[5][i];
  }
  k.frame_mass = c.frame_mass;
  k.frame_size[0] = 1.0f;
  k.frame_size[1] = 1.5f;
  k.frame_size[2] = 3.0f;
  k.frame_underside = 0.9f;
  k.front_wheel = WheelInfo{0.96f, 0.13f, 0.5f, 0.2f, 0.12f};
  k.rear_wheel = WheelInfo{0.88f, 0.16f, 0.62f, 0.25f, 0.19f};
  k.fork_mass = 0.35f;
  k.fork_width = 0.67f;
  k.fork_length = 3.1f;
  k.fork_travel = c.fork_travel;
  k.fork_spring_rate[0] = 376.303f * c.fork_rate_scale;
  k.fork_spring_rate[1] = 913.878f * c.fork_rate_scale;
  k.fork_preload[0] = 0;
  k.fork_preload[1] = 0.0833333f;
  k.fork_oil_level[0] = 0.416667f;
  k.fork_oil_level[1] = 0.25f;
  k.fork_compression = c.fork_compression;
  k.fork_rebound = c.fork_rebound;
  k.swingarm_mass = 0.15f;
  // The pivot mirrors the rear axle about the swingarm body: 2.107 ft from the axle.
  k.swingarm_pivot[0] = 0;
  k.swingarm_pivot[1] = 1.64f;
  k.swingarm_pivot[2] = 3.98f;
  k.swingarm_travel = c.rear_travel / 2.107f;
  k.linkage_top = 0.42f;
  k.linkage_bottom = 0.62f;
  k.shock_spring_rate[0] = 2486.29f * c.shock_rate_scale;
  k.shock_spring_rate[1] = 5174.16f * c.shock_rate_scale;
  k.shock_preload[0] = 0;
  k.shock_preload[1] = 0.0275f;
  k.shock_compression = c.shock_compression;
  k.shock_rebound = c.shock_rebound;
  k.primary_ratio = g.primary;
  k.countershaft_teeth = g.countershaft;
  k.rear_sprocket_teeth = g.rear;
  for (int i = 0; i < 5; ++i) k.gear_ratios[i] = g.gears[i];
  k.gear_ratios[5] = -1;
  k.driveline_stiffness = c.driveline_stiffness;
  k.driveline_damping = c.driveline_damping;
  k.engine_inertia = inertia > 0 ? inertia : c.engine_inertia;
  for (int i = 0; i < kTorquePoints; ++i) {
    const float rpm = static_cast<float>(i) * kTorqueRpmStep;
    k.closed_throttle_torque[i] = closed_torque(c, rpm);
    k.full_throttle_torque[i] = full_torque(c, rpm);
  }
  k.downshift_rpm = c.shift_rpm[0];
  k.upshift_rpm = c.shift_rpm[1];
  k.rev_limit_rpm = rev_limit > 0 ? rev_limit : c.shift_rpm[2];
  k.rider_position[0] = 0;
  k.rider_position[1] = 4.5f;
  k.rider_position[2] = 4.12f;
  k.rider_mass = 5.28f;  // 170 lb
  k.arm_reach[0] = kRider.upper_arm;
  k.arm_reach[1] = kRider.forearm;
  k.idle_rpm = c.idle_rpm;
  for (int i = 0; i < kBikeFiles; ++i) b.files[i] = files[static_cast<std::size_t>(i)];
  b.contacts = kContacts;
  b.rider = &kRider;
  return b;
}

// The 23 data names of a model: its own part models and texture, the shared shapes, wheels
// and rider.
#define KV_BIKE_FILES_WITH(stem, texture)                                                        \
  std::array<const char*, kBikeFiles> {                                                          \
    "@" stem "_frame.jm", "@generic_frame.shp", texture, "@" stem "_fork_upper.jm",              \
        "@generic_fork_upper.shp", "@" stem "_fork_lower.jm", "@generic_fork_lower.shp",         \
        "@" stem "_swingarm.jm", "@generic_swingarm.shp", "@front_wheel.jm", "@front_wheel.shp", \
        "@rear_wheel.jm", "@rear_wheel.shp", "@wheels.png", "@rider_head.jm", "@rider_head.png", \
        "@rider_body.jm", "@rider_body_fp.jm", "@generic_rider.shp", "@rider_body.png",          \
        "@" stem "_side_plates.jm", "@" stem "_front_plate.jm", "@rider_plate.jm"                \
  }
#define KV_BIKE_FILES(stem) KV_BIKE_FILES_WITH(stem, "@" stem ".png")

// Gearboxes: primary ratio and five gears by maker, with the stock sprockets per model.
constexpr float kHonda450[] = {1.8f, 1.47059f, 1.23529f, 1.05f, 0.909091f};
constexpr float kHonda450Old[] = {1.857143f, 1.5f, 1.235294f, 1.05f, 0.909091f};
constexpr float kKawasaki450[] = {1.785714f, 1.444444f, 1.222222f, 1.05f, 0.916667f};
constexpr float kSuzuki450[] = {1.785714f, 1.444444f, 1.2f, 1.0f, 0.869565f};
constexpr float kYamaha450[] = {1.75f, 1.411765f, 1.1875f, 1.0f, 0.869565f};
constexpr float kKtm4t[] = {2.0f, 1.588235f, 1.3125f, 1.1f, 0.954545f};
constexpr float kKtm250[] = {1.875f, 1.5f, 1.25f, 1.052632f, 0.904762f};
constexpr float kHonda250[] = {1.8f, 1.45f, 1.2f, 1.0f, 0.875f};
constexpr float kKawasaki250[] = {1.857143f, 1.466667f, 1.2f, 1.0f, 0.884615f};
constexpr float kSuzuki250[] = {1.785714f, 1.4375f, 1.190476f, 1.0f, 0.869565f};
constexpr float kYamaha250[] = {1.866667f, 1.5f, 1.25f, 1.05f, 0.913043f};
constexpr float kHonda250f[] = {2.142857f, 1.764706f, 1.5f, 1.272727f, 1.090909f};
constexpr float kKawasaki250f[] = {2.142857f, 1.733333f, 1.4375f, 1.210526f, 1.045455f};
constexpr float kSuzuki250f[] = {2.142857f, 1.75f, 1.444444f, 1.2f, 1.0f};
constexpr float kYamaha250f[] = {2.230769f, 1.8125f, 1.5f, 1.25f, 1.047619f};
constexpr float kKtm250f[] = {2.0f, 1.625f, 1.35f, 1.15f, 1.0f};
constexpr float kHonda125[] = {2.142857f, 1.733333f, 1.428571f, 1.2f, 1.0f};
constexpr float kKawasaki125[] = {2.066667f, 1.6875f, 1.4f, 1.166667f, 0.956522f};
constexpr float kSuzuki125[] = {2.0f, 1.625f, 1.35f, 1.15f, 0.954545f};
constexpr float kYamaha125[] = {2.142857f, 1.75f, 1.466667f, 1.2f, 0.952381f};

constexpr Gearing gearing(float primary, const float (&gears)[5], float front, float rear) {
  return Gearing{primary, {gears[0], gears[1], gears[2], gears[3], gears[4]}, front, rear};
}

constexpr BikeInfo kBikes[kCatalogueSize] = {
    make_bike("crf450(2013)", k450f, gearing(2.73913f, kHonda450, 13, 48),
              KV_BIKE_FILES("crf450v2013")),
    make_bike("kx450f(2013)", k450f, gearing(2.666667f, kKawasaki450, 13, 50),
              KV_BIKE_FILES("kx450f")),
    make_bike("rmz450(2013)", k450f, gearing(2.619048f, kSuzuki450, 13, 51),
              KV_BIKE_FILES("rmz450")),
    make_bike("yz450f(2013)", k450f, gearing(2.652174f, kYamaha450, 13, 51),
              KV_BIKE_FILES("yz450f")),
    make_bike("450sxf(2013)", k450f, gearing(2.375f, kKtm4t, 13, 52), KV_BIKE_FILES("450sxfv2013")),
    make_bike("350sxf(2013)", k250f, gearing(2.6f, kKtm4t, 13, 52), KV_BIKE_FILES("350sxfv2013"),
              k350Inertia),
    make_bike("crf450(2011)", k450f, gearing(2.73913f, kHonda450Old, 13, 48),
              KV_BIKE_FILES("crf450")),
    make_bike("kx450f(2011)", k450f, gearing(2.666667f, kKawasaki450, 13, 51),
              KV_BIKE_FILES("kx450f")),
    make_bike("rmz450(2011)", k450f, gearing(2.619048f, kSuzuki450, 13, 50),
              KV_BIKE_FILES("rmz450")),
    make_bike("yz450f(2011)", k450f, gearing(2.652174f, kYamaha450, 13, 50),
              KV_BIKE_FILES("yz450f")),
    make_bike("450sxf(2011)", k450f, gearing(2.375f, kKtm4t, 13, 51), KV_BIKE_FILES("450sxf")),
    make_bike("350sxf(2011)", k450f, gearing(2.6f, kKtm4t, 13, 50), KV_BIKE_FILES("350sxf"),
              k350Inertia),
    make_bike("250sx(2012)", k250, gearing(2.769231f, kKtm250, 13, 49), KV_BIKE_FILES("250sx")),
    make_bike("cr250(2007)", k250, gearing(2.85f, kHonda250, 13, 49), KV_BIKE_FILES("cr250")),
    make_bike("kx250(2006)", k250, gearing(2.8f, kKawasaki250, 13, 50), KV_BIKE_FILES("kx250")),
    make_bike("rm250(2008)", k250, gearing(2.909091f, kSuzuki250, 13, 48), KV_BIKE_FILES("rm250")),
    make_bike("yz250(2012)", k250, gearing(2.941176f, kYamaha250, 13, 48), KV_BIKE_FILES("yz250")),
    make_bike("crf250(2013)", k250f, gearing(3.16667f, kHonda250f, 13, 48),
              KV_BIKE_FILES("crf250v2010")),
    make_bike("kx250f(2013)", k250f, gearing(3.35f, kKawasaki250f, 13, 50),
              KV_BIKE_FILES("kx250fv2013")),
    make_bike("rmz250(2013)", k250f, gearing(3.16667f, kSuzuki250f, 13, 50),
              KV_BIKE_FILES("rmz250v2010")),
    make_bike("yz250f(2013)", k250f, gearing(3.352941f, kYamaha250f, 13, 48),
              KV_BIKE_FILES("yz250fv2010")),
    make_bike("250sxf(2013)", k250f, gearing(3.304348f, kKtm250f, 14, 52),
              KV_BIKE_FILES("250sxfv2013")),
    make_bike("crf250(2009)", k250f, gearing(3.16667f, kHonda250f, 13, 49),
              KV_BIKE_FILES("crf250")),
    make_bike("kx250f(2009)", k250f, gearing(3.35f, kKawasaki250f, 13, 51),
              KV_BIKE_FILES("kx250f")),
    make_bike("rmz250(2009)", k250f, gearing(3.16667f, kSuzuki250f, 13, 49),
              KV_BIKE_FILES("rmz250")),
    make_bike("yz250f(2009)", k250f, gearing(3.352941f, kYamaha250f, 13, 49),
              KV_BIKE_FILES("yz250f")),
    make_bike("250sxf(2009)", k250f, gearing(3.304348f, kKtm250f, 14, 50), KV_BIKE_FILES("250sxf")),
    make_bike("crf250(2008)", k250f, gearing(3.16667f, kHonda250f, 13, 50),
              KV_BIKE_FILES("crf250")),
    make_bike("kx250f(2008)", k250f, gearing(3.35f, kKawasaki250f, 13, 49),
              KV_BIKE_FILES("kx250f")),
    make_bike("rmz250(2008)", k250f, gearing(3.16667f, kSuzuki250f, 13, 48),
              KV_BIKE_FILES("rmz250")),
    make_bike("yz250f(2008)", k250f, gearing(3.352941f, kYamaha250f, 13, 50),
              KV_BIKE_FILES("yz250f")),
    make_bike("cr125", k125, gearing(3.3f, kHonda125, 13, 50), KV_BIKE_FILES("cr125")),
    make_bike("kx125", k125, gearing(3.3f, kKawasaki125, 13, 52), KV_BIKE_FILES("kx125")),
    make_bike("rm125", k125, gearing(3.4f, kSuzuki125, 13, 51), KV_BIKE_FILES("rm125"), 0, 13750),
    make_bike("yz125", k125, gearing(3.444444f, kYamaha125, 13, 50), KV_BIKE_FILES("yz125")),
    make_bike("125sx", k125, gearing(3.2f, kSuzuki125, 13, 52), KV_BIKE_FILES("125sx")),
    make_bike("crf250(2007)", k250f, gearing(3.16667f, kHonda250f, 13, 49),
              KV_BIKE_FILES("crf250")),
    make_bike("kx250f(2007)", k250f, gearing(3.35f, kKawasaki250f, 13, 50),
              KV_BIKE_FILES("kx250f")),
    make_bike("rmz250(2007)", k250f, gearing(3.16667f, kSuzuki250f, 13, 49),
              KV_BIKE_FILES("rmz250")),
    make_bike("yz250f(2007)", k250f, gearing(3.352941f, kYamaha250f, 13, 49),
              KV_BIKE_FILES("yz250f")),
    make_bike("yz250f_se(2006)", k250f, gearing(3.352941f, kYamaha250f, 13, 49),
              KV_BIKE_FILES_WITH("yz250f", "@yz250f_se.png")),
    // The 50s ride 125 chassis with a small engine: a taller primary drive and a 12/55 final.
    make_bike("rs50cr", k50, gearing(4.0f, kHonda125, 12, 55), KV_BIKE_FILES("cr125")),
    make_bike("rs50kx", k50, gearing(4.0f, kKawasaki125, 12, 55), KV_BIKE_FILES("kx125")),
    make_bike("rs50rm", k50, gearing(4.0f, kSuzuki125, 12, 55), KV_BIKE_FILES("rm125"), 0, 13750),
    make_bike("rs50yz", k50, gearing(4.0f, kYamaha125, 12, 55), KV_BIKE_FILES("yz125")),
};

#undef KV_BIKE_FILES
#undef KV_BIKE_FILES_WITH

using CatalogueList = std::array<const BikeInfo*, kCatalogueSize + 1>;

constexpr CatalogueList list_of(const BikeInfo (&bikes)[kCatalogueSize]) {
  CatalogueList list{};
  for (int i = 0; i < kCatalogueSize; ++i) list[static_cast<std::size_t>(i)] = &bikes[i];
  list[kCatalogueSize] = nullptr;
  return list;
}

constexpr CatalogueList kCatalogue = list_of(kBikes);

}  // namespace

const BikeInfo* const* bike_catalogue() { return kCatalogue.data(); }

}  // namespace shell
