#include "model/xfile/templates.h"

#include <cctype>

namespace {

constexpr XMember kInt{XMemberKind::Int};
constexpr XMember kFloat{XMemberKind::Float};
constexpr XMember kString{XMemberKind::String};
constexpr XMember Struct(const XTemplate& t) { return {XMemberKind::Struct, &t}; }
constexpr XMember ArrayOf(XMember m, int8_t countFrom) { return {m.kind, m.sub, countFrom, 0}; }
constexpr XMember Fixed(XMember m, uint8_t n) { return {m.kind, m.sub, -1, n}; }

constexpr XTemplate kHeader{"Header", 3, {kInt, kInt, kInt}};
constexpr XTemplate kVector{"Vector", 3, {kFloat, kFloat, kFloat}};
constexpr XTemplate kCoords2d{"Coords2d", 2, {kFloat, kFloat}};
constexpr XTemplate kMatrix4x4{"Matrix4x4", 1, {Fixed(kFloat, 16)}};
constexpr XTemplate kColorRGBA{"ColorRGBA", 4, {kFloat, kFloat, kFloat, kFloat}};
constexpr XTemplate kColorRGB{"ColorRGB", 3, {kFloat, kFloat, kFloat}};
constexpr XTemplate kIndexedColor{"IndexedColor", 2, {kInt, Struct(kColorRGBA)}};
constexpr XTemplate kBoolean{"Boolean", 1, {kInt}};
constexpr XTemplate kBoolean2d{"Boolean2d", 2, {Struct(kBoolean), Struct(kBoolean)}};
constexpr XTemplate kMaterialWrap{"MaterialWrap", 2, {Struct(kBoolean), Struct(kBoolean)}};
constexpr XTemplate kTextureFilename{"TextureFilename", 1, {kString}};
constexpr XTemplate kMaterial{"Material", 4, {Struct(kColorRGBA), kFloat, Struct(kColorRGB), Struct(kColorRGB)}};
constexpr XTemplate kMeshFace{"MeshFace", 2, {kInt, ArrayOf(kInt, 0)}};
constexpr XTemplate kMeshFaceWraps{"MeshFaceWraps", 2, {kInt, ArrayOf(Struct(kBoolean2d), 0)}};
constexpr XTemplate kMeshTextureCoords{"MeshTextureCoords", 2, {kInt, ArrayOf(Struct(kCoords2d), 0)}};
constexpr XTemplate kMeshMaterialList{"MeshMaterialList", 3, {kInt, kInt, ArrayOf(kInt, 1)}};
constexpr XTemplate kMeshNormals{"MeshNormals", 4,
                                 {kInt, ArrayOf(Struct(kVector), 0), kInt, ArrayOf(Struct(kMeshFace), 2)}};
constexpr XTemplate kMeshVertexColors{"MeshVertexColors", 2, {kInt, ArrayOf(Struct(kIndexedColor), 0)}};
constexpr XTemplate kMesh{"Mesh", 4, {kInt, ArrayOf(Struct(kVector), 0), kInt, ArrayOf(Struct(kMeshFace), 2)}};
constexpr XTemplate kFrameTransformMatrix{"FrameTransformMatrix", 1, {Struct(kMatrix4x4)}};
constexpr XTemplate kFrame{"Frame", 0, {}};
constexpr XTemplate kFloatKeys{"FloatKeys", 2, {kInt, ArrayOf(kFloat, 0)}};
constexpr XTemplate kTimedFloatKeys{"TimedFloatKeys", 2, {kInt, Struct(kFloatKeys)}};
constexpr XTemplate kAnimationKey{"AnimationKey", 3, {kInt, kInt, ArrayOf(Struct(kTimedFloatKeys), 1)}};
constexpr XTemplate kAnimationOptions{"AnimationOptions", 2, {kInt, kInt}};
constexpr XTemplate kAnimation{"Animation", 0, {}};
constexpr XTemplate kAnimationSet{"AnimationSet", 0, {}};
constexpr XTemplate kInlineData{"InlineData", 0, {}};
constexpr XTemplate kUrl{"Url", 2, {kInt, ArrayOf(kString, 0)}};
constexpr XTemplate kProgressiveMesh{"ProgressiveMesh", 0, {}};
constexpr XTemplate kGuid{"Guid", 4, {kInt, kInt, kInt, Fixed(kInt, 8)}};
constexpr XTemplate kStringProperty{"StringProperty", 2, {kString, kString}};
constexpr XTemplate kPropertyBag{"PropertyBag", 0, {}};
constexpr XTemplate kExternalVisual{"ExternalVisual", 1, {Struct(kGuid)}};
constexpr XTemplate kRightHanded{"RightHanded", 1, {kInt}};

constexpr const XTemplate* kAll[] = {
    &kHeader, &kVector, &kCoords2d, &kMatrix4x4, &kColorRGBA, &kColorRGB, &kIndexedColor,
    &kBoolean, &kBoolean2d, &kMaterialWrap, &kTextureFilename, &kMaterial, &kMeshFace,
    &kMeshFaceWraps, &kMeshTextureCoords, &kMeshMaterialList, &kMeshNormals, &kMeshVertexColors,
    &kMesh, &kFrameTransformMatrix, &kFrame, &kFloatKeys, &kTimedFloatKeys, &kAnimationKey,
    &kAnimationOptions, &kAnimation, &kAnimationSet, &kInlineData, &kUrl, &kProgressiveMesh,
    &kGuid, &kStringProperty, &kPropertyBag, &kExternalVisual, &kRightHanded,
};

bool EqualsNoCase(std::string_view a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return i == a.size() && b[i] == 0;
}

}  // namespace

const XTemplate* FindStandardTemplate(std::string_view name) {
  for (const XTemplate* t : kAll)
    if (EqualsNoCase(name, t->name)) return t;
  return nullptr;
}
