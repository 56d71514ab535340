// The xinfo report on a small skinned, animated model written here, and its
// failures on a file the reader refuses and on a mesh that does not load.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tools/xinfo_report.h"

namespace {

const char kSkinnedModel[] = R"(xof 0303txt 0032
Header { 1; 0; 1; }
Material Shared { 0.5;0.25;1.0;1.0;; 8.0; 0;0;0;; 0;0;0;; TextureFilename { "earth.jpg"; } }
Frame Root {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0.5,-1.25,2,1;; }
  Frame Bone01 {
    Frame Bone02 { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,3,1;; } }
  }
  Mesh whale_display {
    5;
    -2.0;0;0;, 1;-1;0;, 1;1;0;, -1;1;0.5;, 3;0.25;-4;;
    2;
    4;0,1,2,3;,
    3;2,1,4;;
    MeshNormals { 2; 0;0;-1;, 1;0;0;; 2; 4;0,0,0,0;, 3;1,1,1;; }
    MeshMaterialList { 2; 2; 1, 0;;
      { Shared }
      Material { 1;1;1;1;; 2.5; 0;0;0;; 0;0;0;; }
    }
    XSkinMeshHeader { 2; 2; 2; }
    SkinWeights { "Bone01"; 3; 0, 1, 2; 1.0, 0.5, 0.5; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
    SkinWeights { "Bone02"; 3; 1, 2, 4; 0.5, 0.5, 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }
  }
}
Mesh hull_dammy { 3; 0;0;0;, 0;1;0;, 1;0;0;; 1; 3;0,1,2;; }
AnimationSet Swim {
  Animation A1 {
    { Bone01 }
    AnimationKey { 0; 3; 0;4;1,0,0,0;;, 4800;4;1,0,0,0;;, 9600;4;1,0,0,0;;; }
    AnimationKey { 2; 3; 0;3;0,0,0;;, 4800;3;0,1,0;;, 9600;3;0,0,0;;; }
  }
  Animation A2 {
    { Bone02 }
    AnimationKey { 1; 2; 0;3;1,1,1;;, 12000;3;2,2,2;;; }
  }
}
)";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

XInfoResult ReportOn(const std::string& text) { return XInfoReport("model.x", text.data(), text.size()); }

TEST(XInfoReport, DescribesFramesMeshesBonesAndAnimations) {
    const XInfoResult r = ReportOn(kSkinnedModel);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.error, "");
    const std::vector<std::string> expected = {
        "file: model.x",
        "format: xof 0303txt 0032",
        "frame \"Root\": parent -, translation (0.500, -1.250, 2.000)",
        "frame \"Bone01\": parent \"Root\", translation (0.000, 0.000, 0.000)",
        "frame \"Bone02\": parent \"Bone01\", translation (0.000, 0.000, 3.000)",
        // The quad fans into two triangles; vertices 1 and 2 also serve the
        // second face with another normal, so they are split.
        "mesh \"whale_display\": frame \"Root\", file vertices 5, file faces 2",
        "mesh \"whale_display\": vertices 7, faces 3, fvf xyz|normal",
        "mesh \"whale_display\": extent x -2.00..3.00, y -1.00..1.00, z -4.00..0.50",
        "mesh \"whale_display\": materials 2",
        "mesh \"whale_display\": material 0 diffuse (0.500, 0.250, 1.000, 1.000) power 8.0 texture \"earth.jpg\"",
        "mesh \"whale_display\": material 1 diffuse (1.000, 1.000, 1.000, 1.000) power 2.5 texture -",
        "mesh \"whale_display\": bones 2 (max influences 2)",
        "bone \"Bone01\": weights 3",
        "bone \"Bone02\": weights 3",
        "mesh \"hull_dammy\": frame -, file vertices 3, file faces 1",
        "mesh \"hull_dammy\": vertices 3, faces 1, fvf xyz",
        "mesh \"hull_dammy\": extent x 0.00..1.00, y 0.00..1.00, z 0.00..0.00",
        "mesh \"hull_dammy\": materials 1",
        "mesh \"hull_dammy\": material 0 diffuse (1.000, 1.000, 1.000, 1.000) power 0.0 texture -",
        "animation sets: 1",
        "animation set \"Swim\": animations 2",
        "animation \"A1\": frame \"Bone01\", keys rotation 3, scale 0, position 3, matrix 0",
        "animation \"A2\": frame \"Bone02\", keys rotation 0, scale 2, position 0, matrix 0",
        "animation length: 12000 ticks",
        "meshes: 2 (display 1, dammy 1)",
    };
    EXPECT_EQ(Lines(r.report), expected);
}

TEST(XInfoReport, FailsWithTheReadersErrorOrTheMeshThatDoesNotLoad) {
    const XInfoResult unreadable = ReportOn("xof 0303txt 0032\nFrame Root { Mesh m { 3; 0;0;0;, 1;0;0;");
    EXPECT_FALSE(unreadable.ok);
    EXPECT_EQ(unreadable.report, "");
    EXPECT_NE(unreadable.error.find("0x88760362"), std::string::npos) << unreadable.error;  // parse error

    const XInfoResult binary = ReportOn("xof 0303bin 0032");
    EXPECT_FALSE(binary.ok);
    EXPECT_NE(binary.error.find("0x8876035D"), std::string::npos) << binary.error;

    const XInfoResult badMesh =
        ReportOn("xof 0303txt 0032\nMesh broken_display { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,7;; }\n");
    EXPECT_FALSE(badMesh.ok);
    EXPECT_NE(badMesh.error.find("mesh \"broken_display\""), std::string::npos) << badMesh.error;
    const std::vector<std::string> lines = Lines(badMesh.report);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "mesh \"broken_display\": load failed 0x88760B55"), lines.end())
        << badMesh.report;
    EXPECT_EQ(lines.back(), "meshes: 1 (display 1, dammy 0)");
}

}  // namespace
