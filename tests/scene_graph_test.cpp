// The scene graph's tree, traversal, reference counting and transforms, driven by a visitor that
// keeps its matrices in software, so no OpenGL context is needed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/bounds.h"
#include "scene/material.h"
#include "scene/object.h"

namespace {

// Records the traversal and replays the matrix operations on its own stack.
struct Recorder : NodeVisitor {
    std::vector<std::string> log;
    std::vector<Matrix> stack = std::vector<Matrix>(1);
    std::string stopAt, skipAt;  // node names whose enter answers 1, whose leave answers 2

    void note(Item& n, const char* what) { log.push_back(std::string(what) + " " + (n.getName() ? n.getName() : "?")); }
    int enterNode(Node& n) override {
        note(n, "enter");
        return n.hasName(stopAt.c_str()) ? kVisitStop : kVisitContinue;
    }
    int leaveNode(Node& n) override {
        note(n, "leave");
        return n.hasName(skipAt.c_str()) ? kVisitSkip : kVisitContinue;
    }
    int enterAppearance(Appearance& n) override { return note(n, "apply"), kVisitContinue; }
    int leaveAppearance(Appearance& n) override { return note(n, "restore"), kVisitContinue; }

    void pushMatrix() override { stack.push_back(stack.back()); }
    void popMatrix() override { stack.pop_back(); }
    void loadIdentity() override { stack.back().setIdentity(); }
    void loadMatrix(const float* m) override { std::copy(m, m + 16, stack.back().m); }
    void multMatrix(const float* m) override {
        Matrix n;
        std::copy(m, m + 16, n.m);
        stack.back().multiply(n);
    }
    void translate(float x, float y, float z) override { stack.back().translate(x, y, z); }
    void scale(float x, float y, float z) override { stack.back().scale(x, y, z); }
    void rotate(float a, float x, float y, float z) override { stack.back().rotate(a, x, y, z); }
    void getModelview(Matrix& m) override { m = stack.back(); }
    void getProjection(Matrix& m) override { m.setIdentity(); }
    using NodeVisitor::rotate;
    using NodeVisitor::scale;
    using NodeVisitor::translate;
};

struct Colour : Appearance {
    static int alive;
    Colour() { ++alive; }
    ~Colour() override { --alive; }
    void apply() override {}
    void restore() override {}
    bool isOpaque() const override { return true; }
};
int Colour::alive = 0;

template <typename T>
T* named(const char* name, T* n) {
    n->setName(name);
    return n;
}

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& e : v) s += e + ", ";
    return s;
}

}  // namespace

TEST(SceneGraph, ChildrenHaveOneParentAndTraversalAnswersSteerTheWalk) {
    Group root;
    root.setName("root");
    Group* a = named("a", new Group);
    Group* b = named("b", new Group);
    Node* a1 = named("a1", new Node);
    ASSERT_TRUE(root.addChild(a));
    ASSERT_TRUE(root.addChild(b));
    ASSERT_TRUE(a->addChild(a1));
    ASSERT_TRUE(a->addChild(named("a2", new Node)));
    EXPECT_FALSE(b->addChild(a1));  // it has a parent already
    EXPECT_FALSE(root.addChild(nullptr));
    b->addChild(named("b1", new Node));

    Recorder all;
    EXPECT_EQ(root.accept(all), kVisitContinue);
    EXPECT_EQ(joined(all.log), "enter root, enter a, enter a1, leave a1, enter a2, leave a2, leave a, enter b, enter b1, leave b1, leave b, leave root, ");

    // 2 from a child (its leave's answer) ends its siblings, and its parent returns 0 without
    // its own leave.
    Recorder skip;
    skip.skipAt = "a1";
    EXPECT_EQ(root.accept(skip), kVisitContinue);
    EXPECT_EQ(joined(skip.log), "enter root, enter a, enter a1, leave a1, enter b, enter b1, leave b1, leave b, leave root, ");
    // 1 anywhere stops everything.
    Recorder stop;
    stop.stopAt = "a1";
    EXPECT_EQ(root.accept(stop), kVisitStop);
    EXPECT_EQ(joined(stop.log), "enter root, enter a, enter a1, ");
    // A disabled group is not entered, nor anything under it.
    a->setEnabledFlag(false);
    Recorder off;
    root.accept(off);
    EXPECT_EQ(joined(off.log), "enter root, enter b, enter b1, leave b1, leave b, leave root, ");

    // Removing keeps the child's own bounds record; it can then join another group.
    const int record = a1->getBoundsIndex();
    ASSERT_TRUE(a->removeChild(a1));
    EXPECT_FALSE(a->removeChild(a1));
    EXPECT_EQ(a1->getBoundsIndex(), record);
    EXPECT_EQ(BoundsTable::instance().parentOf(record), -1);
    EXPECT_TRUE(b->addChild(a1));
}

TEST(SceneGraph, AppearancesAreSharedByCountAndTheirIndicesReused) {
    Colour::alive = 0;
    Colour* shared = new Colour;
    const int first = shared->registryIndex();
    EXPECT_EQ(AppearanceRegistry::lookup(first), shared);
    EXPECT_EQ(AppearanceRegistry::lookup(0), nullptr);
    EXPECT_EQ(AppearanceRegistry::lookup(100000), nullptr);
    {
        Group one(shared), two(shared);
        Recorder r;
        one.setName("one");
        shared->setName("paint");
        one.accept(r);
        EXPECT_EQ(joined(r.log), "enter one, apply paint, restore paint, leave one, ");
        two.setAppearance(nullptr);  // drops its reference
        EXPECT_EQ(Colour::alive, 1);
    }
    EXPECT_EQ(Colour::alive, 0);  // the last owner deleted it
    Colour* next = new Colour;
    EXPECT_EQ(next->registryIndex(), first);  // the freed index is taken again
    Group holder(next);
}

TEST(SceneGraph, TransformsComposeAsTheirFlagsSay) {
    Entity e;
    e.setReference(1, 0, 0);
    EXPECT_EQ(e.getFlags(), Entity::kReference);
    e.setPosition(1, 0, 0);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(e.getLocalMatrix().m[i], i == 12 ? 1.0f : Matrix::identity().m[i]);
    e.setRotation(90, 0, 0, 5);
    const Vec3 p = e.getLocalMatrix().transformPoint(Vec3{2, 0, 0});
    EXPECT_NEAR(p.x, 2, 1e-6);
    EXPECT_NEAR(p.y, 1, 1e-6);
    float angle, x, y, z;
    e.getRotation(angle, x, y, z);
    EXPECT_NEAR(angle, 90, 1e-4);
    EXPECT_NEAR(z, 0.70710678, 1e-6);
    e.setScale(1, 1, 1);
    EXPECT_FALSE(e.getFlags() & Entity::kScale);
    e.setRotation(0, 0, 0, 1);
    EXPECT_FALSE(e.getFlags() & Entity::kRotation);
    EXPECT_FLOAT_EQ(e.getQuaternion().w, 1);

    // The visitor replays the same transform, and a child's world transform composes its parent's.
    Group parent;
    parent.setPosition(0, 0, 5);
    parent.setScale(2, 2, 2);
    Group* child = new Group;
    child->setRotation(90, 0, 0, 1);
    parent.addChild(child);
    Recorder r;
    parent.pushTransform(r);
    child->pushTransform(r);
    Matrix world;
    child->getWorldTransform(world);
    const Vec3 a = r.stack.back().transformPoint(Vec3{1, 0, 0}), b = world.transformPoint(Vec3{1, 0, 0});
    EXPECT_NEAR(a.x, 0, 1e-5);
    EXPECT_NEAR(a.y, 2, 1e-5);
    EXPECT_NEAR(a.z, 5, 1e-5);
    EXPECT_NEAR(b.y, a.y, 1e-5);
    child->popTransform(r);
    parent.popTransform(r);
    EXPECT_EQ(r.stack.size(), 1u);
}

TEST(SceneGraph, LightsTakeOneOfEightSlotsAndSpotsReportThemselvesAsPointLights) {
    SLight spot(0, 0, 0);
    EXPECT_STREQ(spot.getClassName(), "PLight");
    EXPECT_TRUE(spot.isClass("PLight"));
    spot.setIntensity(0.5f);
    spot.setDiffuseOn(false);
    EXPECT_FLOAT_EQ(spot.effectiveSpecular()[0], 0.5f);
    EXPECT_FLOAT_EQ(spot.effectiveDiffuse()[0], 0.0f);
    std::vector<std::unique_ptr<PLight>> more;
    for (int i = 0; i < 7; ++i) more.push_back(std::make_unique<PLight>());
    testing::internal::CaptureStderr();
    PLight ninth;
    EXPECT_NE(testing::internal::GetCapturedStderr().find("eight lights"), std::string::npos);
    EXPECT_FALSE(ninth.hasSlot());
    ninth.apply();  // nothing, and nothing past the table
    more.pop_back();
    PLight again;
    EXPECT_TRUE(again.hasSlot());
}

TEST(SceneGraph, MaterialsSendOnlyWhatDiffersAndKnowWhenTheyAreSeeThrough) {
    Material m;
    m.setAmbient(0.8f, 0.8f, 0.8f, 1.0f);  // the default diffuse, now also the ambient
    m.setDiffuse(0.8f, 0.8f, 0.8f, 1.0f);
    EXPECT_EQ(m.getFlags(), Material::kAmbient | Material::kAmbientIsDiffuse);
    m.setAmbient(0.2f, 0.2f, 0.2f, 1.0f);  // back to its default: nothing to send for it
    EXPECT_EQ(m.getFlags(), 0);
    m.setSpecular(1, 1, 1, 0.5f);
    EXPECT_FALSE(m.isOpaque());
    m.setSpecular(0, 0, 0, 1);
    m.setShininess(0.0f);
    EXPECT_TRUE(m.isOpaque());
    // An unsent colour's alpha does not matter; one set colour for both does.
    Material glass(0.1f, 0.2f, 0.3f, 0.5f);
    EXPECT_EQ(glass.getFlags(), Material::kAmbientIsDiffuse);
    EXPECT_FALSE(glass.isOpaque());
    EXPECT_STREQ(glass.getClassName(), "Material");
}
