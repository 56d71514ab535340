#version 330 core
// skinposed.vsh: one skinned whale drawn from its build's shared pose. The
// vertices were skinned once for the frame into model space (the build's
// palette, without any whale's world matrix); this shader places them with
// the whale's world x view and lights them exactly as skinmesh1..4.vsh do.
//
// Constant registers:
//   c0       (1.0, 0.5, 0.0, 765.01)
//   c1       light vector in camera space (the normals' frame), unit length, w = 0
//   c2..c5   transposed projection matrix
//   c7       fog (-1/F, 1, 0, 0), F = the camera depth that is all fog colour
//   c9..c11  the first three rows of transpose(world x view)
// Vertex registers (stream 0):
//   v0 skinned position, v1 the position under the vertex's last bone alone
//   (its fog depth), v3 skinned normal (not normalised), v5 diffuse,
//   v7 / v8 texture sets 0 / 1; all in model space

uniform vec4 c[96];

in vec4 v0;  // (x, y, z, 1): the missing w reads as 1
in vec4 v1;
in vec3 v3;
in vec4 v5;
in vec2 v7;
in vec2 v8;

out vec4 oD0;
out vec2 oT0;
out vec2 oT1;
out float oFog;

void main() {
    // 1. Camera-space position and normal.
    vec3 p = vec3(dot(v0, c[9]), dot(v0, c[10]), dot(v0, c[11]));
    vec3 n = vec3(dot(v3, c[9].xyz), dot(v3, c[10].xyz), dot(v3, c[11].xyz));

    // 2. Clip-space position.
    vec4 q = vec4(p, c[0].x);
    gl_Position = vec4(dot(q, c[2]), dot(q, c[3]), dot(q, c[4]), dot(q, c[5]));

    // 3. Toon coordinate u = (n.L + 1) * 0.5 from the unit normal (a zero
    //    normal stays zero rather than becoming NaN).
    n *= inversesqrt(max(dot(n, n), 1.0e-30));
    oT0 = vec2((dot(n, c[1].xyz) + c[0].x) * c[0].y, c[0].z);

    // 4. The mesh's texture on coordinate set 0; the vertex colour.
    oT1 = v7;
    oD0 = v5;

    // 5. Linear fog 1 - z/F from the camera depth of the position under the
    //    last bone alone.
    oFog = dot(v1, c[11]) * c[7].x + c[7].y;
}
