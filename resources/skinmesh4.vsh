#version 330 core
// skinmesh4.vsh: palette skinning of 4 bones per vertex with banded toon lighting,
// for the skinned whales. Texture stage 0 holds the toon ramp (Toon.bmp),
// indexed by the light term; stage 1 the mesh's own texture.
//
// Constant registers:
//   c0       (1.0, 0.5, 0.0, 765.01): 765.01 = 3 x 255 plus a margin, so a packed
//            index byte read as 0..1 becomes three times the index
//   c1       light vector in camera space (the normals' frame), unit length, w = 0
//   c2..c5   transposed projection matrix
//   c7       fog (-1/F, 1, 0, 0), F = the camera depth that is all fog colour
//   c9..c92  palette: slot i in c(9 + 3i)..c(11 + 3i), the first three rows of
//            transpose(offset x combined x view), i below 28
// Vertex registers (stream 0):
//   v0 position, v1 blend weights, v2 packed bone indices (a D3DCOLOR), v3 normal,
//   v5 diffuse, v7 / v8 texture sets 0 / 1

uniform vec4 c[96];

in vec4 v0;  // (x, y, z, 1): the missing w reads as 1
in vec3 v1;   // weights of bones 1 to 3; the last bone takes the rest
in vec4 v2;
in vec3 v3;
in vec4 v5;
in vec2 v7;
in vec2 v8;

out vec4 oD0;
out vec2 oT0;
out vec2 oT1;
out float oFog;

void main() {
    // 1. Register offsets: the packed colour read back in byte order (zyxw
    //    undoes the colour's channel order), times 765.01: 3 x each index.
    ivec4 base = ivec4(v2.zyxw * c[0].w) + 9;

    // 2. Weights: the last bone takes 1 minus the others.
    float w[4] = float[4](v1.x, v1.y, v1.z, c[0].x - v1.x - v1.y - v1.z);

    // 3. Camera-space position and normal: the weighted sum over the bones of
    //    the vertex times each bone's 4x3 palette matrix (3x3 for the normal).
    vec3 p = vec3(0.0);
    vec3 n = vec3(0.0);
    for (int k = 0; k < 4; ++k) {
        vec4 r0 = c[base[k]], r1 = c[base[k] + 1], r2 = c[base[k] + 2];
        p += w[k] * vec3(dot(v0, r0), dot(v0, r1), dot(v0, r2));
        n += w[k] * vec3(dot(v3, r0.xyz), dot(v3, r1.xyz), dot(v3, r2.xyz));
    }

    // 4. Clip-space position.
    vec4 q = vec4(p, c[0].x);
    gl_Position = vec4(dot(q, c[2]), dot(q, c[3]), dot(q, c[4]), dot(q, c[5]));

    // 5. Toon coordinate u = (n.L + 1) * 0.5 from the unit normal (a zero
    //    normal stays zero rather than becoming NaN).
    n *= inversesqrt(max(dot(n, n), 1.0e-30));
    oT0 = vec2((dot(n, c[1].xyz) + c[0].x) * c[0].y, c[0].z);

    // 6. The mesh's texture on coordinate set 0; the vertex colour.
    oT1 = v7;
    oD0 = v5;

    // 7. Linear fog 1 - z/F from the camera depth of the unblended position
    //    under the last bone (its third palette row).
    oFog = dot(v0, c[base[3] + 2]) * c[7].x + c[7].y;
}
