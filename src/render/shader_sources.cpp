// shader_sources.cpp -- the GLSL text of the seven built-in programs.
#include "render/shader_sources.h"

namespace render {

namespace {

// Every program starts with the bone limit; the skinned ones index the bone arrays with it.
#define KV_HEADER "#define MAX_BONE 10\n"

// Skinning and the lighting terms shared by the model programs' vertex stages. Bone
// indices are clamped so that a file naming bone 12 cannot read past the uniform arrays.
#define KV_MODEL_VERTEX_COMMON                                                  \
  "uniform int nbones;\n"                                                       \
  "uniform vec3 bone_c[MAX_BONE];\n"                                            \
  "uniform vec3 bone_t[MAX_BONE];\n"                                            \
  "uniform mat3 bone_r[MAX_BONE];\n"                                            \
  "varying vec3 normal_v;\n"                                                    \
  "varying vec3 tangent_v;\n"                                                   \
  "varying vec3 viewer;\n"                                                      \
  "void transform_vertex() {\n"                                                 \
  "  vec4 p = gl_Vertex;\n"                                                     \
  "  vec3 n = gl_Normal;\n"                                                     \
  "  vec3 t = gl_MultiTexCoord1.xyz;\n"                                         \
  "  if (nbones > 0) {\n"                                                       \
  "    vec3 ps = vec3(0.0);\n"                                                  \
  "    vec3 ns = vec3(0.0);\n"                                                  \
  "    vec3 ts = vec3(0.0);\n"                                                  \
  "    for (int i = 0; i < 4; ++i) {\n"                                         \
  "      float w = gl_MultiTexCoord2[i];\n"                                     \
  "      int b = int(clamp(gl_MultiTexCoord3[i], 0.0, float(MAX_BONE - 1)));\n" \
  "      mat3 r = bone_r[b];\n"                                                 \
  "      ps += w * (r * (p.xyz - bone_c[b]) + bone_t[b]);\n"                    \
  "      ns += w * (r * n);\n"                                                  \
  "      ts += w * (r * t);\n"                                                  \
  "    }\n"                                                                     \
  "    p = vec4(ps, 1.0);\n"                                                    \
  "    n = ns;\n"                                                               \
  "    t = ts;\n"                                                               \
  "  }\n"                                                                       \
  "  normal_v = normalize(gl_NormalMatrix * n);\n"                              \
  "  tangent_v = gl_NormalMatrix * t;\n"                                        \
  "  vec4 eye = gl_ModelViewMatrix * p;\n"                                      \
  "  viewer = eye.xyz / eye.w;\n"                                               \
  "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"                                     \
  "  gl_Position = gl_ModelViewProjectionMatrix * p;\n"                         \
  "}\n"

#define KV_LIGHT_VARYINGS   \
  "varying vec3 light;\n"   \
  "varying vec4 diffuse;\n" \
  "varying vec4 ambient;\n"

#define KV_LIGHT_TERMS                                                  \
  "  light = normalize(gl_LightSource[0].position.xyz);\n"              \
  "  diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;\n" \
  "  ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient\n"  \
  "      + gl_LightModel.ambient * gl_FrontMaterial.ambient;\n"         \
  "  ambient.a = min(ambient.a, 1.0);\n"

const char kLitVertex[] = KV_HEADER KV_MODEL_VERTEX_COMMON KV_LIGHT_VARYINGS
    "void main() {\n"
    "  transform_vertex();\n" KV_LIGHT_TERMS "}\n";

const char kEnvVertex[] = KV_HEADER KV_MODEL_VERTEX_COMMON
    "void main() {\n"
    "  transform_vertex();\n"
    "  gl_FrontColor = gl_Color;\n"
    "}\n";

// n from the interpolated normal; the normal-mapped programs bend it by `nmap`.
#define KV_PLAIN_NORMAL "  vec3 n = normalize(normal_v);\n"
#define KV_MAPPED_NORMAL                                       \
  "  vec3 n = normalize(normal_v);\n"                          \
  "  vec3 t = normalize(tangent_v - n * dot(n, tangent_v));\n" \
  "  vec3 b = cross(n, t);\n"                                  \
  "  n = normalize(mat3(t, b, n) * (texture2D(nmap, gl_TexCoord[0].xy).rgb * 2.0 - 1.0));\n"

#define KV_REFLECTION_TERMS                                              \
  "  float ndl = dot(n, light);\n"                                       \
  "  float rdl = max(dot(reflect(normalize(viewer), n), light), 0.0);\n" \
  "  if (ndl < 0.0) {\n"                                                 \
  "    ndl = 0.0;\n"                                                     \
  "    rdl = 0.0;\n"                                                     \
  "  }\n"

// e^(-density z), written with exp2 as the drivers of the day preferred.
#define KV_FOG                                                                       \
  "  float z = gl_FragCoord.z / gl_FragCoord.w;\n"                                   \
  "  float fog = clamp(exp2(-1.4426950408889634 * gl_Fog.density * z), 0.0, 1.0);\n" \
  "  colour.rgb = mix(gl_Fog.color.rgb, colour.rgb, fog);\n"                         \
  "  gl_FragColor = colour;\n"

#define KV_LIT_FRAGMENT_HEAD  \
  "varying vec3 normal_v;\n"  \
  "varying vec3 tangent_v;\n" \
  "varying vec3 viewer;\n" KV_LIGHT_VARYINGS "uniform sampler2D tex;\n"

#define KV_LIT_COLOUR \
  "  vec4 colour = (ambient + diffuse * ndl) * texture2D(tex, gl_TexCoord[0].xy);\n"

#define KV_MATERIAL_SPECULAR                                                         \
  "  colour.rgb += gl_FrontMaterial.specular.rgb * gl_LightSource[0].specular.rgb\n" \
  "      * pow(rdl, gl_FrontMaterial.shininess);\n"

const char kLitFragment[] = KV_HEADER KV_LIT_FRAGMENT_HEAD
    "void main() {\n" KV_PLAIN_NORMAL KV_REFLECTION_TERMS KV_LIT_COLOUR KV_MATERIAL_SPECULAR KV_FOG
    "}\n";

const char kNormLitFragment[] = KV_HEADER KV_LIT_FRAGMENT_HEAD
    "uniform sampler2D nmap;\n"
    "void main() {\n" KV_MAPPED_NORMAL KV_REFLECTION_TERMS KV_LIT_COLOUR KV_MATERIAL_SPECULAR KV_FOG
    "}\n";

const char kNormSpecLitFragment[] = KV_HEADER KV_LIT_FRAGMENT_HEAD
    "uniform sampler2D nmap;\n"
    "uniform sampler2D smap;\n"
    "void main() {\n" KV_MAPPED_NORMAL KV_REFLECTION_TERMS KV_LIT_COLOUR
    "  vec4 s = texture2D(smap, gl_TexCoord[0].xy);\n"
    "  float exponent = s.a * 128.0 + 0.125;\n"
    "  if (exponent >= 127.875) exponent = gl_FrontMaterial.shininess;\n"
    "  colour.rgb += s.rgb * gl_LightSource[0].specular.rgb * pow(rdl, exponent);\n" KV_FOG "}\n";

// The angular map: the pole is the map frame's y axis.
#define KV_ENV_BODY                                                            \
  "  vec3 v = normalize(envmat * reflect(viewer, n));\n"                       \
  "  vec2 h = v.xz;\n"                                                         \
  "  float hl = length(h);\n"                                                  \
  "  h = hl > 0.0 ? h / hl : vec2(0.0);\n"                                     \
  "  vec2 tc = 0.5 + h * acos(clamp(v.y, -1.0, 1.0)) * 0.15915494309189535;\n" \
  "  gl_FragColor = texture2D(tex, tc) * gl_Color;\n"

#define KV_ENV_FRAGMENT_HEAD  \
  "varying vec3 normal_v;\n"  \
  "varying vec3 tangent_v;\n" \
  "varying vec3 viewer;\n"    \
  "uniform mat3 envmat;\n"    \
  "uniform sampler2D tex;\n"

const char kEnvFragment[] =
    KV_HEADER KV_ENV_FRAGMENT_HEAD "void main() {\n" KV_PLAIN_NORMAL KV_ENV_BODY "}\n";

const char kNormEnvFragment[] = KV_HEADER KV_ENV_FRAGMENT_HEAD
    "uniform sampler2D nmap;\n"
    "void main() {\n" KV_MAPPED_NORMAL KV_ENV_BODY "}\n";

const char kTerrainNormalsVertex[] = KV_HEADER
    "varying vec2 base_tc;\n"
    "void main() {\n"
    "  vec4 tc = gl_TextureMatrix[1] * gl_Vertex;\n"
    "  base_tc = tc.xy / tc.w;\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  gl_Position = ftransform();\n"
    "}\n";

// Detail normals are stored (x, z, y); the base map keeps its baked light in green.
const char kTerrainNormalsFragment[] = KV_HEADER
    "uniform sampler2D tex;\n"
    "uniform sampler2D base;\n"
    "varying vec2 base_tc;\n"
    "void main() {\n"
    "  vec2 s = gl_TexCoord[0].xy;\n"
    "  vec2 c = normalize(vec2(dFdx(s.x), -dFdy(s.x)));\n"
    "  mat2 m = mat2(c, vec2(-c.y, c.x));\n"
    "  vec4 d = texture2D(tex, s);\n"
    "  vec3 n = vec3(d.r, d.b, d.g) * 2.0 - 1.0;\n"
    "  n.x = -n.x;\n"
    "  n.xz = m * n.xz;\n"
    "  vec4 bs = texture2D(base, base_tc);\n"
    "  float baselen = bs.g;\n"
    "  vec3 bn = vec3(bs.r * 2.0 - 1.0, 0.0, bs.b * 2.0 - 1.0);\n"
    "  bn.y = sqrt(max(1.0 - bn.z * bn.z - bn.x * bn.x, 0.0));\n"
    "  vec3 x = vec3(1.0, 0.0, 0.0);\n"
    "  vec3 z = normalize(cross(x, bn));\n"
    "  x = normalize(cross(bn, z));\n"
    "  n = normalize(mat3(x, bn, z) * n);\n"
    "  if (length(n.xz) > 126.0 / 128.0) {\n"
    "    n.y = 0.0;\n"
    "    n = normalize(n) * (126.0 / 128.0);\n"
    "  }\n"
    "  gl_FragColor = vec4((n + 1.0) * 0.5, d.a);\n"
    "  gl_FragColor.g = baselen;\n"
    "}\n";

const char kTerrainVertex[] = KV_HEADER KV_LIGHT_VARYINGS
    "varying vec3 viewer;\n"
    "void main() {\n"
    "  light = normalize(gl_LightSource[0].position.xyz);\n"
    "  diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;\n"
    "  ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient;\n"
    "  ambient.a = min(ambient.a, 1.0);\n"
    "  vec4 eye = gl_ModelViewMatrix * gl_Vertex;\n"
    "  viewer = eye.xyz / eye.w;\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  gl_Position = ftransform();\n"
    "}\n";

// The normal map's green channel carries baked light; the specular map carries
// intensity in red and exponent / 128 in green.
const char kTerrainFragment[] = KV_HEADER KV_LIGHT_VARYINGS
    "varying vec3 viewer;\n"
    "uniform sampler2D tex;\n"
    "uniform sampler2D nmap;\n"
    "uniform sampler2D smap;\n"
    "void main() {\n"
    "  vec4 nm = texture2D(nmap, gl_TexCoord[0].xy);\n"
    "  float len = nm.g;\n"
    "  vec3 n = nm.rgb * 2.0 - 1.0;\n"
    "  n.y = sqrt(max(1.0 - n.z * n.z - n.x * n.x, 0.0));\n"
    "  n = normalize(gl_NormalMatrix * n);\n" KV_REFLECTION_TERMS
    "  vec4 colour = (ambient + diffuse * ndl * len) * texture2D(tex, gl_TexCoord[0].xy);\n"
    "  vec4 s = texture2D(smap, gl_TexCoord[0].xy);\n"
    "  float exponent = s.g * 128.0 + 0.125;\n"
    "  colour.rgb += s.r * gl_LightSource[0].specular.rgb * pow(rdl, exponent) * len;\n" KV_FOG
    "}\n";

}  // namespace

const ProgramSource kProgramSources[kProgramSlots] = {
    {"fixed", nullptr, nullptr},
    {"lit", kLitVertex, kLitFragment},
    {"env", kEnvVertex, kEnvFragment},
    {"norm_lit", kLitVertex, kNormLitFragment},
    {"norm_env", kEnvVertex, kNormEnvFragment},
    {"norm_spec_lit", kLitVertex, kNormSpecLitFragment},
    {"terrain_normals", kTerrainNormalsVertex, kTerrainNormalsFragment},
    {"terrain", kTerrainVertex, kTerrainFragment},
};

}  // namespace render
