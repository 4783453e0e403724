#include "web/page_model_import.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#include <stb_image.h>
#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>

#include "base/data_files.h"
#include "models/assimp_import.h"  // the texture budget, the same in the page

namespace {

// What the files of one model may still cost.
struct Budget {
    std::string folder;
    long long bytes = kPageModelBytes;
    long long pixels = kTextureBudgetPixels;
    std::vector<std::string> warnings;
    std::string refused;  // the first file the model named that it may not read, and why
};

// A name the model gives for one of its files: a plain name in the model's folder.
bool insideFolder(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
           name != "." && name != "..";
}

// Reads one file of the model within the byte budget; false with the reason.
bool readWithin(Budget& budget, const std::string& path, std::vector<unsigned char>& out, std::string& why) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        why = path + " is missing (drop it with the model)";
        return false;
    }
    if (st.st_size > budget.bytes) {
        why = "the model's files are larger than the page takes (" + std::to_string(kPageModelBytes >> 20) + " MB)";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    out.resize(static_cast<size_t>(st.st_size));
    if (!in.read(reinterpret_cast<char*>(out.data()), st.st_size)) {
        why = path + " cannot be read";
        return false;
    }
    budget.bytes -= st.st_size;
    return true;
}

// Decodes a picture to RGBA, bottom row first, when it fits the bounds; otherwise a warning and
// no picture. The size is read from the header before anything is decoded.
bool decodePicture(Budget& budget, const unsigned char* bytes, size_t size, const std::string& name, ImportedPicture& out) {
    int w = 0, h = 0, channels = 0;
    if (size > INT32_MAX || !stbi_info_from_memory(bytes, static_cast<int>(size), &w, &h, &channels)) {
        budget.warnings.push_back("the picture " + name + " cannot be read; the model is drawn without it");
        return false;
    }
    if (w > kPagePictureSide || h > kPagePictureSide || static_cast<long long>(w) * h > budget.pixels) {
        budget.warnings.push_back("the picture " + name + " (" + std::to_string(w) + " x " + std::to_string(h) +
                                  ") is over the page's picture budget; the model is drawn without it");
        return false;
    }
    stbi_uc* pixels = stbi_load_from_memory(bytes, static_cast<int>(size), &w, &h, &channels, 4);
    if (!pixels) {
        budget.warnings.push_back("the picture " + name + " is damaged; the model is drawn without it");
        return false;
    }
    budget.pixels -= static_cast<long long>(w) * h;
    out.name = name, out.width = w, out.height = h;
    out.rgba.resize(static_cast<size_t>(w) * h * 4);
    // The file's rows come top first; a picture here is bottom row first (docs/conventions.md, "Frames").
    for (int row = 0; row < h; ++row)
        std::memcpy(&out.rgba[static_cast<size_t>(h - 1 - row) * w * 4], pixels + static_cast<size_t>(row) * w * 4,
                    static_cast<size_t>(w) * 4);
    stbi_image_free(pixels);
    return true;
}

// ---- glTF ----

// tinygltf reads every file through these: only plain names in the model's folder, within the
// byte budget.
bool gltfFileExists(const std::string& path, void* user) {
    auto* budget = static_cast<Budget*>(user);
    struct stat st {};
    const std::string prefix = budget->folder + "/";
    const std::string name = path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
    const bool inside = path.compare(0, prefix.size(), prefix) == 0 && insideFolder(name);
    const bool there = inside && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (!there && budget->refused.empty())
        budget->refused = inside ? name + " is missing (drop it with the model)"
                                 : "refused: " + name + " is outside the model's folder (only the files dropped with it are read)";
    return there;
}
std::string gltfExpand(const std::string& path, void*) { return path; }
bool gltfRead(std::vector<unsigned char>* out, std::string* err, const std::string& path, void* user) {
    auto* budget = static_cast<Budget*>(user);
    if (!gltfFileExists(path, user)) {
        if (err) *err = "refused: " + path + " is outside the model's folder or missing";
        return false;
    }
    std::string why;
    if (!readWithin(*budget, path, *out, why)) {
        if (err) *err = why;
        return false;
    }
    return true;
}
bool gltfWrite(std::string*, const std::string&, const std::vector<unsigned char>&, void*) { return false; }
// Pictures are decoded after the load, under the pixel budget: tinygltf only keeps their bytes.
bool gltfKeepPicture(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int, void*) {
    return true;
}

// The bytes of accessor `index` as `components` floats an element (float data only, or unsigned
// integers for indices); false when the accessor does not fit its buffer.
bool accessorBytes(const tinygltf::Model& m, int index, const unsigned char*& data, size_t& stride, size_t& count,
                   int& componentType, int& components) {
    if (index < 0 || index >= static_cast<int>(m.accessors.size())) return false;
    const tinygltf::Accessor& a = m.accessors[index];
    if (a.bufferView < 0 || a.bufferView >= static_cast<int>(m.bufferViews.size())) return false;
    const tinygltf::BufferView& view = m.bufferViews[a.bufferView];
    if (view.buffer < 0 || view.buffer >= static_cast<int>(m.buffers.size())) return false;
    const std::vector<unsigned char>& buffer = m.buffers[view.buffer].data;
    components = tinygltf::GetNumComponentsInType(a.type);
    const int componentBytes = tinygltf::GetComponentSizeInBytes(a.componentType);
    if (components <= 0 || componentBytes <= 0) return false;
    const size_t element = static_cast<size_t>(components) * componentBytes;
    stride = view.byteStride ? view.byteStride : element;
    count = a.count;
    componentType = a.componentType;
    const size_t start = view.byteOffset + a.byteOffset;
    if (view.byteOffset > buffer.size() || view.byteLength > buffer.size() - view.byteOffset || stride < element) return false;
    if (count == 0) return true;
    // The last element must end inside the view, and the view inside its buffer.
    if (a.byteOffset > view.byteLength || (count - 1) > (view.byteLength - a.byteOffset - element) / stride ||
        view.byteLength - a.byteOffset < element)
        return false;
    data = buffer.data() + start;
    return true;
}

bool readFloats(const tinygltf::Model& m, int index, int wanted, std::vector<float>& out) {
    const unsigned char* data = nullptr;
    size_t stride = 0, count = 0;
    int type = 0, components = 0;
    if (!accessorBytes(m, index, data, stride, count, type, components) || type != TINYGLTF_COMPONENT_TYPE_FLOAT ||
        components < wanted)
        return false;
    out.resize(count * wanted);
    for (size_t i = 0; i < count; ++i) std::memcpy(&out[i * wanted], data + i * stride, wanted * sizeof(float));
    return true;
}

bool readIndices(const tinygltf::Model& m, int index, size_t vertices, std::vector<uint32_t>& out) {
    const unsigned char* data = nullptr;
    size_t stride = 0, count = 0;
    int type = 0, components = 0;
    if (!accessorBytes(m, index, data, stride, count, type, components) || components != 1) return false;
    out.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* p = data + i * stride;
        uint32_t v = 0;
        if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE) v = *p;
        else if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) v = static_cast<uint32_t>(p[0] | p[1] << 8);
        else if (type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT) std::memcpy(&v, p, 4);
        else return false;
        if (v >= vertices) return false;
        out[i] = v;
    }
    return true;
}

void nodeTransform(const tinygltf::Node& n, float out[16]) {
    if (n.matrix.size() == 16) {
        for (int i = 0; i < 16; ++i) out[i] = static_cast<float>(n.matrix[i]);
        return;
    }
    // T R S, column-major, with R from the quaternion (x, y, z, w).
    const double x = n.rotation.size() == 4 ? n.rotation[0] : 0, y = n.rotation.size() == 4 ? n.rotation[1] : 0,
                 z = n.rotation.size() == 4 ? n.rotation[2] : 0, w = n.rotation.size() == 4 ? n.rotation[3] : 1;
    const double R[9] = {1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w),
                         2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w),
                         2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)};  // row-major
    for (int c = 0; c < 3; ++c) {
        const double s = n.scale.size() == 3 ? n.scale[c] : 1;
        for (int r = 0; r < 3; ++r) out[4 * c + r] = static_cast<float>(R[3 * r + c] * s);
        out[4 * c + 3] = 0;
    }
    for (int r = 0; r < 3; ++r) out[12 + r] = static_cast<float>(n.translation.size() == 3 ? n.translation[r] : 0);
    out[15] = 1;
}

bool convertGltf(const tinygltf::Model& m, Budget& budget, ImportedModel& out, std::string& why) {
    // Pictures first, within the pixel budget; then materials point at them.
    std::vector<int> pictureOfImage(m.images.size(), -1);
    for (size_t i = 0; i < m.images.size(); ++i) {
        const tinygltf::Image& image = m.images[i];
        std::vector<unsigned char> bytes;
        const std::string name = image.uri.empty() ? "picture " + std::to_string(i) + " in the file" : image.uri;
        if (!image.uri.empty()) {
            if (image.uri.compare(0, 5, "data:") == 0) {
                budget.warnings.push_back("the picture " + std::to_string(i) + " is written into the file as text; left out");
                continue;
            }
            std::string reason;
            if (!insideFolder(image.uri)) {
                budget.warnings.push_back("the picture " + image.uri + " is refused: outside the model's folder");
                continue;
            }
            if (!readWithin(budget, budget.folder + "/" + image.uri, bytes, reason)) {
                budget.warnings.push_back(reason);
                continue;
            }
        } else {
            const unsigned char* data = nullptr;
            if (image.bufferView < 0 || image.bufferView >= static_cast<int>(m.bufferViews.size())) continue;
            const tinygltf::BufferView& view = m.bufferViews[image.bufferView];
            if (view.buffer < 0 || view.buffer >= static_cast<int>(m.buffers.size())) continue;
            const auto& buffer = m.buffers[view.buffer].data;
            if (view.byteOffset > buffer.size() || view.byteLength > buffer.size() - view.byteOffset) continue;
            data = buffer.data() + view.byteOffset;
            bytes.assign(data, data + view.byteLength);
        }
        ImportedPicture picture;
        if (!decodePicture(budget, bytes.data(), bytes.size(), name, picture)) continue;
        pictureOfImage[i] = static_cast<int>(out.pictures.size());
        out.pictures.push_back(std::move(picture));
    }
    for (const tinygltf::Material& material : m.materials) {
        ImportedMaterial mat;
        mat.name = material.name;
        const auto& f = material.pbrMetallicRoughness.baseColorFactor;
        if (f.size() == 4) mat.diffuse = {static_cast<float>(f[0]), static_cast<float>(f[1]), static_cast<float>(f[2]), static_cast<float>(f[3])};
        mat.ambient = mat.diffuse;
        const int texture = material.pbrMetallicRoughness.baseColorTexture.index;
        if (texture >= 0 && texture < static_cast<int>(m.textures.size())) {
            const int source = m.textures[texture].source;
            if (source >= 0 && source < static_cast<int>(pictureOfImage.size())) mat.picture = pictureOfImage[source];
        }
        out.materials.push_back(mat);
    }
    // Meshes: one imported mesh a triangle primitive.
    std::vector<std::vector<int>> meshesOf(m.meshes.size());
    long long triangles = 0;
    for (size_t i = 0; i < m.meshes.size(); ++i) {
        for (const tinygltf::Primitive& p : m.meshes[i].primitives) {
            if (p.mode != TINYGLTF_MODE_TRIANGLES && p.mode != -1) {
                budget.warnings.push_back("a part drawn as points, lines or strips is left out");
                continue;
            }
            ImportedMesh mesh;
            mesh.name = m.meshes[i].name;
            mesh.material = p.material;
            const auto at = [&](const char* name) {
                const auto it = p.attributes.find(name);
                return it == p.attributes.end() ? -1 : it->second;
            };
            if (!readFloats(m, at("POSITION"), 3, mesh.positions)) {
                why = "a mesh's positions do not fit its buffer (the file is damaged or truncated)";
                return false;
            }
            const size_t vertices = mesh.positions.size() / 3;
            if (at("NORMAL") >= 0 && (!readFloats(m, at("NORMAL"), 3, mesh.normals) || mesh.normals.size() != 3 * vertices))
                mesh.normals.clear();
            if (at("TEXCOORD_0") >= 0 && (!readFloats(m, at("TEXCOORD_0"), 2, mesh.uv) || mesh.uv.size() != 2 * vertices))
                mesh.uv.clear();
            // glTF counts v down from the picture's top; the pictures here are bottom row first.
            for (size_t k = 1; k < mesh.uv.size(); k += 2) mesh.uv[k] = 1 - mesh.uv[k];
            if (at("COLOR_0") >= 0 && (!readFloats(m, at("COLOR_0"), 4, mesh.colours) || mesh.colours.size() != 4 * vertices))
                mesh.colours.clear();
            if (p.indices >= 0) {
                if (!readIndices(m, p.indices, vertices, mesh.faces)) {
                    why = "a mesh's indices do not fit its buffer or name vertices it does not have";
                    return false;
                }
            } else {
                mesh.faces.resize(vertices);
                for (size_t k = 0; k < vertices; ++k) mesh.faces[k] = static_cast<uint32_t>(k);
            }
            mesh.faces.resize(mesh.faces.size() / 3 * 3);
            triangles += static_cast<long long>(mesh.faces.size() / 3);
            if (triangles > kPageModelTriangles) {
                why = "more than " + std::to_string(kPageModelTriangles) + " triangles, more than the page draws";
                return false;
            }
            if (mesh.material >= static_cast<int>(out.materials.size())) mesh.material = -1;
            meshesOf[i].push_back(static_cast<int>(out.meshes.size()));
            out.meshes.push_back(std::move(mesh));
        }
    }
    // Nodes of the default scene, parents before their children; a node met twice (a cycle, or
    // shared) is placed once.
    out.nodes.push_back(ImportedNode{});
    out.nodes[0].name = "root";
    std::vector<bool> placed(m.nodes.size(), false);
    std::vector<std::pair<int, int>> pending;  // (glTF node, parent here)
    const int scene = m.defaultScene >= 0 && m.defaultScene < static_cast<int>(m.scenes.size()) ? m.defaultScene : 0;
    if (!m.scenes.empty())
        for (int n : m.scenes[scene].nodes) pending.push_back({n, 0});
    else
        for (size_t n = 0; n < m.nodes.size(); ++n) pending.push_back({static_cast<int>(n), 0});
    for (size_t next = 0; next < pending.size(); ++next) {
        const auto [index, parent] = pending[next];
        if (index < 0 || index >= static_cast<int>(m.nodes.size()) || placed[index]) continue;
        placed[index] = true;
        const tinygltf::Node& n = m.nodes[index];
        ImportedNode node;
        node.name = n.name;
        node.parent = parent;
        nodeTransform(n, node.transform);
        if (n.mesh >= 0 && n.mesh < static_cast<int>(meshesOf.size())) node.meshes = meshesOf[n.mesh];
        const int here = static_cast<int>(out.nodes.size());
        out.nodes.push_back(node);
        for (int child : n.children) pending.push_back({child, here});
    }
    return true;
}

bool importGltf(const std::string& file, bool binary, Budget& budget, ImportedModel& out, std::string& why) {
    tinygltf::TinyGLTF loader;
    loader.SetFsCallbacks({gltfFileExists, gltfExpand, gltfRead, gltfWrite, &budget});
    loader.SetImageLoader(gltfKeepPicture, nullptr);
    std::vector<unsigned char> bytes;
    if (!readWithin(budget, file, bytes, why)) return false;
    tinygltf::Model m;
    std::string err, warn;
    const bool ok = binary ? loader.LoadBinaryFromMemory(&m, &err, &warn, bytes.data(), static_cast<unsigned>(bytes.size()), budget.folder)
                           : loader.LoadASCIIFromString(&m, &err, &warn, reinterpret_cast<const char*>(bytes.data()),
                                                        static_cast<unsigned>(bytes.size()), budget.folder);
    if (!ok) {
        // Our own reason when a file it names was kept from it; else tinygltf's words, first line.
        why = !budget.refused.empty() ? budget.refused : "it cannot be read as glTF (" + err.substr(0, err.find('\n')) + ")";
        return false;
    }
    return convertGltf(m, budget, out, why);
}

// ---- OBJ ----

// The .mtl files an OBJ names, from its folder only.
class FolderMaterials : public tinyobj::MaterialReader {
public:
    explicit FolderMaterials(Budget& b) : budget(b) {}
    bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials, std::map<std::string, int>* map,
                    std::string* warn, std::string* err) override {
        if (!insideFolder(name)) {
            budget.warnings.push_back("the material library " + name + " is refused: outside the model's folder");
            return false;
        }
        std::vector<unsigned char> bytes;
        std::string why;
        if (!readWithin(budget, budget.folder + "/" + name, bytes, why)) {
            budget.warnings.push_back(why);
            return false;
        }
        std::istringstream in(std::string(bytes.begin(), bytes.end()));
        tinyobj::LoadMtl(map, materials, &in, warn, err);
        return true;
    }

private:
    Budget& budget;
};

bool importObj(const std::string& file, Budget& budget, ImportedModel& out, std::string& why) {
    std::vector<unsigned char> bytes;
    if (!readWithin(budget, file, bytes, why)) return false;
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::vector<unsigned char>().swap(bytes);
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    FolderMaterials reader(budget);
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, &in, &reader, true)) {
        why = "it cannot be read as OBJ (" + err.substr(0, err.find('\n')) + ")";
        return false;
    }
    for (const tinyobj::material_t& mt : materials) {
        ImportedMaterial mat;
        mat.name = mt.name;
        mat.diffuse = {mt.diffuse[0], mt.diffuse[1], mt.diffuse[2], mt.dissolve};
        mat.ambient = mat.diffuse;
        if (!mt.diffuse_texname.empty()) {
            std::vector<unsigned char> picture;
            std::string reason;
            ImportedPicture decoded;
            if (!insideFolder(mt.diffuse_texname))
                budget.warnings.push_back("the picture " + mt.diffuse_texname + " is refused: outside the model's folder");
            else if (!readWithin(budget, budget.folder + "/" + mt.diffuse_texname, picture, reason))
                budget.warnings.push_back(reason);
            else if (decodePicture(budget, picture.data(), picture.size(), mt.diffuse_texname, decoded)) {
                mat.picture = static_cast<int>(out.pictures.size());
                out.pictures.push_back(std::move(decoded));
            }
        }
        out.materials.push_back(mat);
    }
    // One mesh a shape, its corners unshared (OBJ indexes positions, normals and texture
    // coordinates each on its own); OBJ's v counts up from the picture's bottom, as here.
    const size_t positions = attrib.vertices.size() / 3, normals = attrib.normals.size() / 3, uvs = attrib.texcoords.size() / 2;
    long long triangles = 0;
    out.nodes.push_back(ImportedNode{});
    out.nodes[0].name = "root";
    for (const tinyobj::shape_t& shape : shapes) {
        ImportedMesh mesh;
        mesh.name = shape.name;
        const auto& idx = shape.mesh.indices;
        triangles += static_cast<long long>(idx.size() / 3);
        if (triangles > kPageModelTriangles) {
            why = "more than " + std::to_string(kPageModelTriangles) + " triangles, more than the page draws";
            return false;
        }
        const bool withNormals = std::all_of(idx.begin(), idx.end(), [&](const tinyobj::index_t& i) {
            return i.normal_index >= 0 && static_cast<size_t>(i.normal_index) < normals;
        });
        const bool withUv = std::all_of(idx.begin(), idx.end(), [&](const tinyobj::index_t& i) {
            return i.texcoord_index >= 0 && static_cast<size_t>(i.texcoord_index) < uvs;
        });
        for (const tinyobj::index_t& i : idx) {
            if (i.vertex_index < 0 || static_cast<size_t>(i.vertex_index) >= positions) {
                why = "a face names a vertex the file does not have";
                return false;
            }
            mesh.positions.insert(mesh.positions.end(), &attrib.vertices[3 * i.vertex_index], &attrib.vertices[3 * i.vertex_index] + 3);
            if (withNormals) mesh.normals.insert(mesh.normals.end(), &attrib.normals[3 * i.normal_index], &attrib.normals[3 * i.normal_index] + 3);
            if (withUv) mesh.uv.insert(mesh.uv.end(), &attrib.texcoords[2 * i.texcoord_index], &attrib.texcoords[2 * i.texcoord_index] + 2);
            mesh.faces.push_back(static_cast<uint32_t>(mesh.faces.size()));
        }
        mesh.faces.resize(mesh.faces.size() / 3 * 3);
        const int material = shape.mesh.material_ids.empty() ? -1 : shape.mesh.material_ids[0];
        mesh.material = material >= 0 && material < static_cast<int>(out.materials.size()) ? material : -1;
        out.nodes[0].meshes.push_back(static_cast<int>(out.meshes.size()));
        out.meshes.push_back(std::move(mesh));
    }
    return true;
}

std::string lowerExtension(const std::string& file) {
    const size_t dot = file.rfind('.');
    std::string ext = dot == std::string::npos ? "" : file.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

}  // namespace

bool importPageModel(const std::string& file, ImportedModel& model, std::string& why) {
    model = ImportedModel{};
    Budget budget;
    budget.folder = folderOf(file);
    const std::string ext = lowerExtension(file);
    bool ok = false;
    if (ext == "glb" || ext == "gltf") ok = importGltf(file, ext == "glb", budget, model, why);
    else if (ext == "obj") ok = importObj(file, budget, model, why);
    else why = "the page reads glTF (.gltf, .glb) and OBJ (.obj) models; ." + ext + " needs the desktop program";
    if (!ok) return false;
    long long triangles = 0;
    for (const ImportedMesh& m : model.meshes) triangles += static_cast<long long>(m.faces.size() / 3);
    if (triangles == 0) {
        why = "it holds no triangles to draw";
        return false;
    }
    model.warnings = std::move(budget.warnings);
    return true;
}
