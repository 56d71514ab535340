#version 330 core
// Toon.vsh: banded toon lighting for the rigid models of the Z-sort renderer.
// Texture stage 0 holds the toon ramp (Toon.bmp), indexed by the light term;
// stage 1 the model's own texture on the second coordinate set.
//
// Constant registers (set per queued model):
//   c0..c3   transposed world x view x projection: one row per clip coordinate
//   c4..c7   transposed world x view; c6 yields camera-space depth
//   c12      (0.0, 0.5, 1.0, -1.0)
//   c13      light vector in the model's own space, unit length (w = 0)
//   c14      fog (-1/F, 1, 0, 0), F = the depth that is all fog colour
// Vertex registers (44-byte vertex, stream 0):
//   v0 position, v3 normal (model space), v5 diffuse, v7 / v8 texture sets 0 / 1

uniform vec4 c[96];

in vec4 v0;  // (x, y, z, 1): the missing w reads as 1
in vec3 v3;
in vec4 v5;
in vec2 v7;  // set 0 is replaced by the toon coordinate
in vec2 v8;

out vec4 oD0;
out vec2 oT0;
out vec2 oT1;
out float oFog;

void main() {
    // 1. Clip-space position: v0 dotted with each row of the transposed matrix.
    gl_Position = vec4(dot(v0, c[0]), dot(v0, c[1]), dot(v0, c[2]), dot(v0, c[3]));

    // 2. Unit normal (a zero normal stays zero rather than becoming NaN), then
    //    the toon coordinate u = (n.L + 1) * 0.5: 0 facing away from the light,
    //    1 facing it. Only x matters; every row of the ramp is the same, so
    //    y takes c12.x (0).
    vec3 n = v3 * inversesqrt(max(dot(v3, v3), 1.0e-30));
    float u = (dot(n, c[13].xyz) + c[12].z) * c[12].y;
    oT0 = vec2(u, c[12].x);

    // 3. The model's texture on the vertex's second coordinate set; its colour.
    oT1 = v8;
    oD0 = v5;

    // 4. Linear fog: camera-space depth z = v0 . c6, factor 1 - z/F
    //    (1 = no fog, 0 = all fog colour).
    oFog = dot(v0, c[6]) * c[14].x + c[14].y;
}
