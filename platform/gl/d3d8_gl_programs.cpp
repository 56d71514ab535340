// GLSL programs of the GL device: the fixed-function vertex programs, the
// fragment program that evaluates the two texture stages, alpha test, fade
// and fog (from the shared state block, or specialised for one state), and
// the rewriting of vertex shader sources (register contract of d3d8.h) so
// that D3D clip depth is converted in exactly one place: the wrapper `main`
// appended to every vertex program.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/gl/d3d8_gl_internal.h"

namespace d3d8gl {

namespace {

// The std140 block mirrored by StateBlock (d3d8_gl_internal.h).
const char* const kStateBlockGlsl = R"(
layout(std140) uniform NrvState {
    mat4 nrv_wvp;
    mat4 nrv_worldView;
    vec4 nrv_screen;  // viewport width, height, x, y in back-buffer pixels
    vec4 nrv_vertexFog;
    ivec4 nrv_color0;
    ivec4 nrv_alpha0;
    ivec4 nrv_color1;
    ivec4 nrv_alpha1;
    vec4 nrv_textureFactor;
    vec4 nrv_fogColor;
    vec4 nrv_alphaState;
    vec4 nrv_rampInfo[2];  // per stage: steps, texture width, 1 when computed
    vec4 nrv_rampBase[2];
    vec4 nrv_rampPosition[4];  // stage s, step k: [2 * s + k / 4][k % 4]
    vec4 nrv_rampDelta[16];    // stage s, step k: [8 * s + k]
};
)";

// Fixed-function vertex program. Pre-transformed vertices carry back-buffer
// pixels with y down and pixel centres on integer coordinates (the D3D
// convention), depth 0..1 and rhw = 1/w; GL pixel centres sit on .5, hence
// the half-pixel shift. An edge at an integer coordinate passes exactly
// through pixel centres, and D3D's top-left rule then covers the pixels on
// top and left edges only, while GL leaves the tie to the implementation (Mesa
// takes the bottom edge of a y-down rectangle instead). Moving every vertex
// 1/128 pixel towards the top-left puts the centres on top/left edges inside
// and those on bottom/right edges outside: D3D's rule on any GL.
// Transformed vertices use world x view x projection and get linear/exp/exp2
// vertex fog over camera-space depth. Both end in D3D clip space and go
// through the same wrapper as authored shaders, which converts the depth.
const char* const kFixedFunctionVertexGlsl = R"(
layout(location = 12) in vec4 a_position;
layout(location = 13) in vec4 a_diffuse;
layout(location = 14) in vec2 a_tex0;
layout(location = 15) in vec2 a_tex1;
out vec4 oD0;
out vec2 oT0;
out vec2 oT1;
out float oFog;
void main() {
#ifdef NRV_PRE_TRANSFORMED
    float w = a_position.w > 0.0 ? 1.0 / a_position.w : 1.0;
    const float kEdgeBias = 1.0 / 128.0;
    vec2 pixel = a_position.xy - vec2(kEdgeBias) + vec2(0.5);  // GL window x, y measured from the top
    pixel -= nrv_screen.zw;  // relative to the viewport's top-left corner
    vec2 ndc = vec2(pixel.x * 2.0 / nrv_screen.x - 1.0, 1.0 - pixel.y * 2.0 / nrv_screen.y);
    gl_Position = vec4(ndc * w, a_position.z * w, w);  // D3D clip space, like any vertex shader
    oFog = 1.0;
#else
    vec4 p = vec4(a_position.xyz, 1.0);
    gl_Position = nrv_wvp * p;
    float d = (nrv_worldView * p).z;
    int mode = int(nrv_vertexFog.x);
    if (mode == 3) {
        oFog = (nrv_vertexFog.y - d) * nrv_vertexFog.z;
    } else if (mode == 1) {
        oFog = exp(-nrv_vertexFog.w * d);
    } else if (mode == 2) {
        float e = nrv_vertexFog.w * d;
        oFog = exp(-e * e);
    } else {
        oFog = 1.0;
    }
#endif
    oD0 = a_diffuse;
    oT0 = a_tex0;
    oT1 = a_tex1;
}
)";

// Fragment program: D3D texture-stage arithmetic. The general program reads
// ops, arguments, alpha test and fog switch from the state block, so any state
// runs without a recompile; a specialised program gets them as constants
// (NRV_SPECIALISED, see FragmentDefines), and the compiler folds every branch
// away: no stage selection per fragment, no sampling of an unbound stage, no
// `discard` (which would turn off early depth testing) without an alpha test.
const char* const kFragmentGlsl = R"(
#ifdef NRV_SPECIALISED
#define NRV_COLOR0 nrv_kColor0
#define NRV_ALPHA0 nrv_kAlpha0
#define NRV_COLOR1 nrv_kColor1
#define NRV_ALPHA1 nrv_kAlpha1
#define NRV_ALPHA_FUNC nrv_kAlphaFunc
#define NRV_FOG nrv_kFog
#else
#define NRV_COLOR0 nrv_color0
#define NRV_ALPHA0 nrv_alpha0
#define NRV_COLOR1 nrv_color1
#define NRV_ALPHA1 nrv_alpha1
#define NRV_ALPHA_FUNC int(nrv_alphaState.x)
#define NRV_FOG (nrv_fogColor.a > 0.5)
#define NRV_SAMPLE0(c) (nrv_rampInfo[0].z > 0.5 ? Ramp(0, (c).x, int(nrv_rampInfo[0].x)) : texture(nrv_stage0, c))
#define NRV_SAMPLE1(c) (nrv_rampInfo[1].z > 0.5 ? Ramp(1, (c).x, int(nrv_rampInfo[1].x)) : texture(nrv_stage1, c))
const bool nrv_kTex0 = true;
const bool nrv_kTex1 = true;
const bool nrv_kFade = true;
#endif
uniform sampler2D nrv_stage0;
uniform sampler2D nrv_stage1;
in vec4 oD0;
in float oFog;
layout(location = 0) out vec4 nrv_fragColor;

vec4 Arg(int a, vec4 tex, vec4 current, vec4 diffuse) {
    int sel = a & 15;
    vec4 v = sel == 0 ? diffuse : sel == 1 ? current : sel == 2 ? tex : nrv_textureFactor;
    if ((a & 16) != 0) v = vec4(1.0) - v;  // D3DTA_COMPLEMENT
    if ((a & 32) != 0) v = v.aaaa;         // D3DTA_ALPHAREPLICATE
    return v;
}

vec4 Op(int op, vec4 a1, vec4 a2) {
    if (op == 3) return a2;                                  // SELECTARG2
    if (op == 4) return a1 * a2;                             // MODULATE
    if (op == 5) return clamp(2.0 * a1 * a2, 0.0, 1.0);      // MODULATE2X
    if (op == 6) return clamp(4.0 * a1 * a2, 0.0, 1.0);      // MODULATE4X
    if (op == 7) return clamp(a1 + a2, 0.0, 1.0);            // ADD
    return a1;                                               // SELECTARG1
}

vec4 Stage(ivec4 c, ivec4 a, vec4 tex, vec4 current, vec4 diffuse) {
    vec3 rgb = Op(c.x, Arg(c.y, tex, current, diffuse), Arg(c.z, tex, current, diffuse)).rgb;
    float alpha = a.x == 1 ? current.a : Op(a.x, Arg(a.y, tex, current, diffuse), Arg(a.z, tex, current, diffuse)).a;
    return vec4(rgb, alpha);
}

// A ramp texture under linear filtering, its coordinate clamped: the first
// texel's colour plus each step's change, in full between the centres of
// the texels on either side of it, in part within them (texel units, so
// that between the steps the sum is exactly a texel's value). A specialised
// program has the same sum with the values as constants (SampleSource).
vec4 Ramp(int s, float u, int steps) {
    float x = u * nrv_rampInfo[s].y - 0.5;
    vec4 v = nrv_rampBase[s];
    for (int k = 0; k < steps; ++k) {
        v += nrv_rampDelta[8 * s + k] * clamp(x - nrv_rampPosition[2 * s + k / 4][k % 4], 0.0, 1.0);
    }
    return v / 255.0;
}

bool AlphaPasses(int func, float alpha, float ref) {
    float a = floor(alpha * 255.0 + 0.5);
    if (func == 1) return false;
    if (func == 2) return a < ref;
    if (func == 3) return a == ref;
    if (func == 4) return a <= ref;
    if (func == 5) return a > ref;
    if (func == 6) return a != ref;
    if (func == 7) return a >= ref;
    return true;
}

void main() {
    vec4 diffuse = clamp(oD0, 0.0, 1.0);
    vec4 current = diffuse;
    if (NRV_COLOR0.x != 1) {  // a disabled stage ends the cascade
        // An unbound stage samples opaque white (a 1 x 1 texture in the general program).
        vec2 c0 = NRV_COLOR0.w == 1 ? oT1.xy : oT0.xy;
        vec4 t0 = nrv_kTex0 ? NRV_SAMPLE0(c0) : vec4(1.0);
        current = Stage(NRV_COLOR0, NRV_ALPHA0, t0, current, diffuse);
        if (NRV_COLOR1.x != 1) {
            vec2 c1 = NRV_COLOR1.w == 1 ? oT1.xy : oT0.xy;
            vec4 t1 = nrv_kTex1 ? NRV_SAMPLE1(c1) : vec4(1.0);
            current = Stage(NRV_COLOR1, NRV_ALPHA1, t1, current, diffuse);
        }
    }
    if (nrv_kFade) current.a *= nrv_alphaState.z;  // material fade of shader draws (1 otherwise)
    if (NRV_ALPHA_FUNC != 8 && !AlphaPasses(NRV_ALPHA_FUNC, current.a, nrv_alphaState.y)) discard;
    if (NRV_FOG) current.rgb = mix(nrv_fogColor.rgb, current.rgb, clamp(oFog, 0.0, 1.0));
    nrv_fragColor = current;
}
)";

const char* const kTexTypeNames[kTexTypeCount] = {"vec2", "vec3", "vec4"};

void PrintLog(GLuint object, bool program, const char* what) {
    char log[2048];
    GLsizei n = 0;
    if (program) {
        glGetProgramInfoLog(object, sizeof log, &n, log);
    } else {
        glGetShaderInfoLog(object, sizeof log, &n, log);
    }
    std::fprintf(stderr, "nereval: %s failed:\n%.*s\n", what, static_cast<int>(n), log);
}

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

// What the rewriting needs to know about a vertex shader source.
struct SourceScan {
    size_t bodyStart = 0;      // first byte after the #version line (0: none)
    int bodyFirstLine = 1;     // line number of that byte
    bool hasVersion = false;
    bool mentions[4] = {};     // oD0, oT0, oT1, oFog appear
    int declaredType[4] = {-1, -1, -1, -1};  // for oT0/oT1: TexCoordType of their `out` declaration
};

const char* const kOutputNames[4] = {"oD0", "oT0", "oT1", "oFog"};

// A small scan that skips comments, finds the #version line and reads the
// `out <type> name[, name];` declarations of the contract's outputs.
SourceScan ScanSource(const char* s, size_t n) {
    SourceScan scan;
    bool seenToken = false;  // anything but comments and white space so far
    int line = 1;
    bool inOut = false;      // between `out` and the next ';'
    int outType = -1;        // TexCoordType after `out`, -1 unknown/other
    bool typeSeen = false;
    size_t i = 0;
    while (i < n) {
        char c = s[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == '/' && i + 1 < n && s[i + 1] == '/') {
            while (i < n && s[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            i += 2;
            while (i + 1 < n && !(s[i] == '*' && s[i + 1] == '/')) {
                if (s[i] == '\n') ++line;
                ++i;
            }
            i += 2;
        } else if (c == '#') {
            size_t end = i;
            while (end < n && s[end] != '\n') ++end;
            if (!seenToken && n - i >= 8 && std::strncmp(s + i, "#version", 8) == 0) {
                scan.hasVersion = true;
                scan.bodyStart = end < n ? end + 1 : end;
                scan.bodyFirstLine = line + 1;
            }
            seenToken = true;
            i = end;
        } else if (IsIdentStart(c)) {
            size_t start = i;
            while (i < n && IsIdentChar(s[i])) ++i;
            std::string_view word(s + start, i - start);
            seenToken = true;
            if (word == "out") {
                inOut = true;
                typeSeen = false;
                outType = -1;
                continue;
            }
            if (inOut && !typeSeen) {
                bool qualifier = word == "smooth" || word == "flat" || word == "noperspective" ||
                                 word == "centroid" || word == "invariant" || word == "highp" ||
                                 word == "mediump" || word == "lowp";
                if (qualifier) continue;
                typeSeen = true;
                for (int t = 0; t < kTexTypeCount; ++t) {
                    if (word == kTexTypeNames[t]) outType = t;
                }
                continue;
            }
            for (int k = 0; k < 4; ++k) {
                if (word == kOutputNames[k]) {
                    scan.mentions[k] = true;
                    if (inOut && typeSeen) scan.declaredType[k] = outType;
                }
            }
        } else {
            if (c == ';' || c == '{' || c == '}') inOut = false;
            if (c != ' ' && c != '\t' && c != '\r') seenToken = true;
            ++i;
        }
    }
    return scan;
}

}  // namespace

GLuint CompileShader(GLenum stage, const char* const* sources, GLsizei count) {
    GLuint shader = glCreateShader(stage);
    if (!shader) return 0;
    glShaderSource(shader, count, sources, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        PrintLog(shader, false, stage == GL_VERTEX_SHADER ? "vertex shader compilation" : "fragment shader compilation");
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

void SetupProgramBindings(GLuint program) {
    GLuint block = glGetUniformBlockIndex(program, "NrvState");
    if (block != GL_INVALID_INDEX) glUniformBlockBinding(program, block, kStateBlockBinding);
    glUseProgram(program);
    GLint s0 = glGetUniformLocation(program, "nrv_stage0");
    GLint s1 = glGetUniformLocation(program, "nrv_stage1");
    if (s0 >= 0) glUniform1i(s0, 0);
    if (s1 >= 0) glUniform1i(s1, 1);
}

ProgramBuilder::~ProgramBuilder() = default;

void ProgramBuilder::FreeGl() {
    for (auto& row : m_fragment) {
        for (GLuint& f : row) {
            if (f) glDeleteShader(f);
            f = 0;
        }
    }
}

namespace {

// The sampling of stage s in a specialised program: the texture, or ramp
// `id` as the sum Ramp() makes, with its values as constants.
std::string SampleSource(int stage, int id, const RampTable* ramps) {
    char line[160];
    if (id < 0) {
        std::snprintf(line, sizeof line, "#define NRV_SAMPLE%d(c) texture(nrv_stage%d, c)\n", stage, stage);
        return line;
    }
    const RampTable& r = ramps[id];
    std::snprintf(line, sizeof line, "#define NRV_SAMPLE%d(c) ((vec4(%.9g, %.9g, %.9g, %.9g)", stage, r.base[0],
                  r.base[1], r.base[2], r.base[3]);
    std::string out = line;
    for (int k = 0; k < r.steps; ++k) {
        const float* d = r.delta[k];
        std::snprintf(line, sizeof line, " + vec4(%.9g, %.9g, %.9g, %.9g) * clamp((c).x * %.9g - 0.5 - %.9g, 0.0, 1.0)",
                      d[0], d[1], d[2], d[3], static_cast<double>(r.width), r.position[k]);
        out += line;
    }
    return out + ") / 255.0)\n";
}

}  // namespace

GLuint ProgramBuilder::CompileFragment(TexCoordType t0, TexCoordType t1, const FragmentKey* key) {
    char inputs[96];
    std::snprintf(inputs, sizeof inputs, "in %s oT0;\nin %s oT1;\n", kTexTypeNames[t0], kTexTypeNames[t1]);
    std::string constants;
    if (key) {
        const FragmentKey& k = *key;
        char text[640];
        std::snprintf(text, sizeof text,
                      "#define NRV_SPECIALISED 1\n"
                      "const ivec4 nrv_kColor0 = ivec4(%d, %d, %d, %d);\n"
                      "const ivec4 nrv_kAlpha0 = ivec4(%d, %d, %d, 0);\n"
                      "const ivec4 nrv_kColor1 = ivec4(%d, %d, %d, %d);\n"
                      "const ivec4 nrv_kAlpha1 = ivec4(%d, %d, %d, 0);\n"
                      "const int nrv_kAlphaFunc = %d;\n"
                      "const bool nrv_kFog = %s;\n"
                      "const bool nrv_kFade = %s;\n"
                      "const bool nrv_kTex0 = %s;\n"
                      "const bool nrv_kTex1 = %s;\n",
                      k.color[0][0], k.color[0][1], k.color[0][2], k.color[0][3], k.alpha[0][0], k.alpha[0][1],
                      k.alpha[0][2], k.color[1][0], k.color[1][1], k.color[1][2], k.color[1][3], k.alpha[1][0],
                      k.alpha[1][1], k.alpha[1][2], k.alphaFunc, k.fog ? "true" : "false", k.fade ? "true" : "false",
                      k.texture[0] ? "true" : "false", k.texture[1] ? "true" : "false");
        constants = text;
        for (int stage = 0; stage < 2; ++stage) {
            const int id = k.texture[stage] >= 2 && k.texture[stage] - 2 < m_rampCount ? k.texture[stage] - 2 : -1;
            constants += SampleSource(stage, id, m_ramps);
        }
    }
    const char* parts[] = {"#version 330 core\n", kStateBlockGlsl, inputs, constants.c_str(), kFragmentGlsl};
    return CompileShader(GL_FRAGMENT_SHADER, parts, 5);
}

int ProgramBuilder::RegisterRamp(const RampTable& ramp) {
    for (int i = 0; i < m_rampCount; ++i) {
        if (std::memcmp(&m_ramps[i], &ramp, sizeof ramp) == 0) return i;
    }
    if (m_rampCount == kMaxRamps) return -1;
    m_ramps[m_rampCount] = ramp;
    return m_rampCount++;
}

GLuint ProgramBuilder::GeneralFragmentShader(TexCoordType t0, TexCoordType t1) {
    GLuint& cached = m_fragment[t0][t1];
    if (!cached) cached = CompileFragment(t0, t1, nullptr);
    return cached;
}

GLuint ProgramBuilder::Link(const VertexProgram& vertex, const FragmentKey* key) {
    if (!vertex.shader) return 0;
    GLuint fragment = key ? CompileFragment(vertex.t0, vertex.t1, key) : GeneralFragmentShader(vertex.t0, vertex.t1);
    if (!fragment) return 0;
    GLuint program = glCreateProgram();
    glAttachShader(program, vertex.shader);
    glAttachShader(program, fragment);
    // Shader inputs v0..v11 sit at the declaration's registers.
    for (GLuint r = 0; r <= kMaxShaderRegister; ++r) {
        char name[8];
        std::snprintf(name, sizeof name, "v%u", r);
        glBindAttribLocation(program, r, name);
    }
    glLinkProgram(program);
    glDetachShader(program, vertex.shader);
    glDetachShader(program, fragment);
    if (key) glDeleteShader(fragment);  // specialised shaders serve one program
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        PrintLog(program, true, "program link");
        glDeleteProgram(program);
        return 0;
    }
    SetupProgramBindings(program);
    return program;
}

VertexProgram ProgramBuilder::CompileFixedFunction(bool preTransformed) {
    std::string source = "#version 330 core\n";
    if (preTransformed) source += "#define NRV_PRE_TRANSFORMED 1\n";
    source += kStateBlockGlsl;
    source += kFixedFunctionVertexGlsl;
    return CompileFromShaderSource(source.c_str(), source.size());
}

VertexProgram ProgramBuilder::CompileFromShaderSource(const char* source, size_t length) {
    SourceScan scan = ScanSource(source, length);

    // Prologue: the version, the renaming of the author's main, and the
    // declarations of contract outputs the author left out (so the fragment
    // program always links). Epilogue: the real main, which gives omitted
    // outputs neutral values, runs the author's main and converts depth.
    std::string prologue = scan.hasVersion ? std::string(source, scan.bodyStart) : "#version 330 core\n";
    prologue += "#define main nrv_shader_main\n";
    std::string defaults;
    const char* const decl[4] = {"out vec4 oD0;\n", "out vec2 oT0;\n", "out vec2 oT1;\n", "out float oFog;\n"};
    const char* const init[4] = {"    oD0 = vec4(1.0);\n", "    oT0 = vec2(0.0);\n", "    oT1 = vec2(0.0);\n",
                                 "    oFog = 1.0;\n"};
    for (int k = 0; k < 4; ++k) {
        if (!scan.mentions[k]) {
            prologue += decl[k];
            defaults += init[k];
        }
    }
    prologue += "#line " + std::to_string(scan.bodyFirstLine) + "\n";
    std::string epilogue = "\n#undef main\nvoid main() {\n" + defaults +
                           "    nrv_shader_main();\n"
                           "    gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;  // D3D clip depth 0..w to GL -w..w\n"
                           "}\n";
    std::string body(source + scan.bodyStart, length - scan.bodyStart);
    const char* parts[] = {prologue.c_str(), body.c_str(), epilogue.c_str()};
    VertexProgram vertex;
    vertex.shader = CompileShader(GL_VERTEX_SHADER, parts, 3);
    if (!vertex.shader) return vertex;

    auto typeOf = [&](int k) {
        if (!scan.mentions[k]) return kTexVec2;  // injected above
        return scan.declaredType[k] >= 0 ? static_cast<TexCoordType>(scan.declaredType[k]) : kTexVec2;
    };
    vertex.t0 = typeOf(1);
    vertex.t1 = typeOf(2);
    return vertex;
}

}  // namespace d3d8gl
