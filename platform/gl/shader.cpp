#include "platform/gl/shader.h"

#include "platform/libs/gl_api.h"
#include "platform/message_name.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Matrices arrive as the classic interface keeps them (row vectors, translation in elements
// 12-14); read column-major they are the transposes, so M * v here is v * M there. Its depth
// runs 0..1 where GL's runs -1..1.
const char* kVertexSource = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoord;

struct LightData {
  int type;  // 1 point, 2 spot, 3 directional
  vec4 diffuse, ambient;
  vec3 position, direction;
  float range;
  vec3 attenuation;
  float falloff, cosTheta, cosPhi;  // cosines of the half cone angles
};

uniform mat4 uWorld, uView, uProjection;
uniform mat3 uNormalMatrix;
uniform bool uLighting;
uniform vec4 uMaterialDiffuse, uMaterialAmbient;
uniform vec3 uGlobalAmbient;
uniform int uLightCount;
uniform LightData uLights[8];
uniform bool uFog;
uniform float uFogStart, uFogEnd;

out vec4 vColour;
out vec2 vTexCoord;
out float vFog;

void main() {
  vec4 world = uWorld * vec4(aPosition, 1.0);
  vec4 eye = uView * world;
  gl_Position = uProjection * eye;
  gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
  vTexCoord = aTexCoord;
  vColour = vec4(1.0);
  if (uLighting) {
    vec3 n = normalize(uNormalMatrix * aNormal);
    vec3 ambient = uGlobalAmbient, diffuse = vec3(0.0);
    for (int i = 0; i < uLightCount; ++i) {
      vec3 toLight;
      float share = 1.0;
      if (uLights[i].type == 3) {
        toLight = -normalize(uLights[i].direction);
      } else {
        vec3 d = uLights[i].position - world.xyz;
        float dist = length(d);
        if (dist > uLights[i].range) continue;
        toLight = dist > 0.0 ? d / dist : vec3(0.0);
        vec3 a = uLights[i].attenuation;
        float sum = a.x + a.y * dist + a.z * dist * dist;
        share = sum > 0.0 ? 1.0 / sum : 1.0;
        if (uLights[i].type == 2) {
          float rho = dot(-toLight, normalize(uLights[i].direction));
          if (rho <= uLights[i].cosPhi) continue;
          if (rho < uLights[i].cosTheta)
            share *= pow((rho - uLights[i].cosPhi) / (uLights[i].cosTheta - uLights[i].cosPhi), uLights[i].falloff);
        }
      }
      ambient += uLights[i].ambient.rgb * share;
      diffuse += uLights[i].diffuse.rgb * max(dot(n, toLight), 0.0) * share;
    }
    vColour = vec4(clamp(uMaterialAmbient.rgb * ambient + uMaterialDiffuse.rgb * diffuse, 0.0, 1.0),
                   uMaterialDiffuse.a);
  }
  vFog = 1.0;
  if (uFog) vFog = uFogEnd > uFogStart ? clamp((uFogEnd - eye.z) / (uFogEnd - uFogStart), 0.0, 1.0) : 1.0;
}
)";

const char* kFragmentSource = R"(#version 330 core
in vec4 vColour;
in vec2 vTexCoord;
in float vFog;
uniform bool uTextured, uColourKey, uFog;
uniform sampler2D uTexture;
uniform vec3 uFogColour;
out vec4 fragColour;

void main() {
  vec4 c = vColour;
  if (uTextured) {
    vec4 t = texture(uTexture, vTexCoord);
    if (uColourKey && t.a == 0.0) discard;
    c *= t;
  }
  if (uFog) c.rgb = mix(uFogColour, c.rgb, vFog);
  fragColour = c;
}
)";

GLuint Compile(GLenum type, const char* source) {
  GLuint s = g_gl.glCreateShader(type);
  g_gl.glShaderSource(s, 1, &source, nullptr);
  g_gl.glCompileShader(s);
  GLint ok = 0;
  g_gl.glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[1024] = "";
    g_gl.glGetShaderInfoLog(s, sizeof log, nullptr, log);
    std::fprintf(stderr, "%s: the 3D shader does not compile: %s\n", MessageName(), log);
    g_gl.glDeleteShader(s);
    return 0;
  }
  return s;
}

float FloatOf(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void Rgb(uint32_t colour, float out[3]) {
  out[0] = float((colour >> 16) & 255) / 255.0f;
  out[1] = float((colour >> 8) & 255) / 255.0f;
  out[2] = float(colour & 255) / 255.0f;
}

}  // namespace

void NormalMatrix(const float m[16], float out[9]) {
  // a(r, c): row r, column c of the upper 3x3 (column-major storage).
  auto a = [m](int r, int c) { return m[c * 4 + r]; };
  // Cofactor matrix divided by the determinant = inverse transpose.
  float cof[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
      cof[r][c] = a(r1, c1) * a(r2, c2) - a(r1, c2) * a(r2, c1);
    }
  float det = a(0, 0) * cof[0][0] + a(0, 1) * cof[0][1] + a(0, 2) * cof[0][2];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out[c * 3 + r] = det != 0.0f ? cof[r][c] / det : a(r, c);
}

bool FixedFunctionShader::Build(GlResources* resources) {
  GLuint vs = Compile(GL_VERTEX_SHADER, kVertexSource), fs = Compile(GL_FRAGMENT_SHADER, kFragmentSource);
  program_ = vs && fs ? resources->Create(GlKind::kProgram) : 0;
  GLuint p = resources->Name(program_, GlKind::kProgram);
  GLint ok = 0;
  if (p) {
    g_gl.glAttachShader(p, vs);
    g_gl.glAttachShader(p, fs);
    g_gl.glLinkProgram(p);
    g_gl.glDetachShader(p, vs);
    g_gl.glDetachShader(p, fs);
    g_gl.glGetProgramiv(p, GL_LINK_STATUS, &ok);
  }
  g_gl.glDeleteShader(vs);
  g_gl.glDeleteShader(fs);
  if (!ok) {
    resources->Release(program_);
    program_ = 0;
    return false;
  }
  auto at = [p](const std::string& name) { return g_gl.glGetUniformLocation(p, name.c_str()); };
  world_ = at("uWorld");
  view_ = at("uView");
  projection_ = at("uProjection");
  normalMatrix_ = at("uNormalMatrix");
  lighting_ = at("uLighting");
  materialDiffuse_ = at("uMaterialDiffuse");
  materialAmbient_ = at("uMaterialAmbient");
  globalAmbient_ = at("uGlobalAmbient");
  lightCount_ = at("uLightCount");
  fog_ = at("uFog");
  fogColour_ = at("uFogColour");
  fogStart_ = at("uFogStart");
  fogEnd_ = at("uFogEnd");
  textured_ = at("uTextured");
  colourKey_ = at("uColourKey");
  texture_ = at("uTexture");
  for (uint32_t i = 0; i < kMaxLights; ++i) {
    const std::string l = "uLights[" + std::to_string(i) + "].";
    lights_[i] = LightSlots{at(l + "type"),        at(l + "diffuse"), at(l + "ambient"),  at(l + "position"),
                            at(l + "direction"),   at(l + "range"),   at(l + "attenuation"), at(l + "falloff"),
                            at(l + "cosTheta"),    at(l + "cosPhi")};
  }
  return g_gl.glGetError() == GL_NO_ERROR;
}

void FixedFunctionShader::ApplyWorld(const DeviceState& s) const {
  g_gl.glUniformMatrix4fv(world_, 1, GL_FALSE, s.transforms[0]);
  float normal[9];
  NormalMatrix(s.transforms[0], normal);
  g_gl.glUniformMatrix3fv(normalMatrix_, 1, GL_FALSE, normal);
}

bool FixedFunctionShader::Apply(const DeviceState& s, const GlResources& resources) const {
  GLuint p = resources.Name(program_, GlKind::kProgram);
  if (!p) return false;
  g_gl.glUseProgram(p);
  g_gl.glUniformMatrix4fv(world_, 1, GL_FALSE, s.transforms[0]);
  g_gl.glUniformMatrix4fv(view_, 1, GL_FALSE, s.transforms[1]);
  g_gl.glUniformMatrix4fv(projection_, 1, GL_FALSE, s.transforms[2]);
  float normal[9];
  NormalMatrix(s.transforms[0], normal);
  g_gl.glUniformMatrix3fv(normalMatrix_, 1, GL_FALSE, normal);
  const uint32_t* rs = s.renderStates;
  g_gl.glUniform1i(lighting_, rs[kRsLighting] != 0);
  g_gl.glUniform4fv(materialDiffuse_, 1, s.material.diffuse);
  g_gl.glUniform4fv(materialAmbient_, 1, s.material.ambient);
  float rgb[3];
  Rgb(rs[kRsAmbient], rgb);
  g_gl.glUniform3fv(globalAmbient_, 1, rgb);
  // The lights switched on, packed in index order.
  GLint count = 0;
  for (uint32_t i = 0; i < kMaxLights; ++i) {
    if (!s.lightOn[i]) continue;
    const Light& l = s.lights[i];
    const LightSlots& u = lights_[count++];
    g_gl.glUniform1i(u.type, GLint(l.type));
    g_gl.glUniform4fv(u.diffuse, 1, l.diffuse);
    g_gl.glUniform4fv(u.ambient, 1, l.ambient);
    g_gl.glUniform3fv(u.position, 1, l.position);
    g_gl.glUniform3fv(u.direction, 1, l.direction);
    g_gl.glUniform1f(u.range, l.range);
    g_gl.glUniform3fv(u.attenuation, 1, l.attenuation);
    g_gl.glUniform1f(u.falloff, l.falloff);
    g_gl.glUniform1f(u.cosTheta, std::cos(l.theta / 2));
    g_gl.glUniform1f(u.cosPhi, std::cos(l.phi / 2));
  }
  g_gl.glUniform1i(lightCount_, count);
  g_gl.glUniform1i(fog_, rs[kRsFogEnable] != 0);
  Rgb(rs[kRsFogColour], rgb);
  g_gl.glUniform3fv(fogColour_, 1, rgb);
  g_gl.glUniform1f(fogStart_, FloatOf(rs[kRsFogStart]));
  g_gl.glUniform1f(fogEnd_, FloatOf(rs[kRsFogEnd]));
  g_gl.glUniform1i(textured_, s.texture != 0);
  g_gl.glUniform1i(colourKey_, rs[kRsColourKeyEnable] != 0);
  g_gl.glUniform1i(texture_, 0);
  return true;
}
