// Each operation against values worked out by hand on small tensors.
#include "platform/nn/NnTestSupport.h"

#include <cmath>
#include <limits>

using namespace vesk::nn;
using namespace vesk::nn::test;
using ::testing::ElementsAre;
using ::testing::FloatNear;
using ::testing::Pointwise;

namespace {

NodeDef convNode(const char* padding, std::vector<int64_t> strides = {1, 1, 1, 1})
{
    NodeDef node;
    node.attrs.insert("padding", stringAttr(padding));
    node.attrs.insert("strides", listAttr(std::move(strides)));
    node.attrs.insert("data_format", stringAttr("NHWC"));
    return node;
}

} // namespace

TEST(NnConvolution, SameAndValidPaddingOnASmallImage)
{
    // 3x3 single-channel image 1..9, a 2x2 filter of ones.
    const auto image = floats({1, 3, 3, 1}, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    const auto filter = floats({2, 2, 1, 1}, {1, 1, 1, 1});
    // VALID: windows at (0,0),(0,1),(1,0),(1,1): 1+2+4+5=12, 16, 24, 28.
    Tensor valid = runOne("Conv2D", {image, filter}, convNode("VALID"));
    EXPECT_EQ(valid.shape, (Shape{1, 2, 2, 1}));
    EXPECT_THAT(values(valid), ElementsAre(12, 16, 24, 28));
    // SAME with a 2x2 kernel pads one row/column after: the last row/column see zeros.
    Tensor same = runOne("Conv2D", {image, filter}, convNode("SAME"));
    EXPECT_EQ(same.shape, (Shape{1, 3, 3, 1}));
    EXPECT_THAT(values(same), ElementsAre(12, 16, 9, 24, 28, 15, 15, 17, 9));
    // Stride 2 with SAME: outputs at (0,0),(0,2),(2,0),(2,2).
    Tensor strided = runOne("Conv2D", {image, filter}, convNode("SAME", {1, 2, 2, 1}));
    EXPECT_EQ(strided.shape, (Shape{1, 2, 2, 1}));
    EXPECT_THAT(values(strided), ElementsAre(12, 9, 15, 9));
}

TEST(NnConvolution, ChannelsMixThroughTheFilterAndFusedBiasAndActivationFollow)
{
    // One pixel with channels (1, 2); filter maps to outputs (a - b, a + b, -a).
    const auto pixel = floats({1, 1, 1, 2}, {1, 2});
    const auto filter = floats({1, 1, 2, 3}, {1, 1, -1, -1, 1, 0});
    Tensor plain = runOne("Conv2D", {pixel, filter}, convNode("VALID"));
    EXPECT_THAT(values(plain), ElementsAre(-1, 3, -1));

    NodeDef fused = convNode("VALID");
    fused.attrs.insert("fused_ops", stringsAttr({"BiasAdd", "Relu"}));
    const auto bias = floats({3}, {0.5f, 0.5f, 0.5f});
    EXPECT_THAT(values(runOne("_FusedConv2D", {pixel, filter, bias}, fused)), ElementsAre(0, 3.5f, 0));
    fused.attrs.insert("fused_ops", stringsAttr({"BiasAdd", "Relu6"}));
    const auto bigBias = floats({3}, {10, 10, 10});
    EXPECT_THAT(values(runOne("_FusedConv2D", {pixel, filter, bigBias}, fused)), ElementsAre(6, 6, 6));
    fused.attrs.insert("fused_ops", stringsAttr({"BiasAdd", "LeakyRelu"}));
    EXPECT_TRUE(failureOf("_FusedConv2D", {pixel, filter, bias}, fused).contains("LeakyRelu"));
}

TEST(NnConvolution, ManyOutputPixelsAgreeWithADirectSum)
{
    // Large enough to be split across the thread pool; compared with a naive loop.
    const int h = 37, w = 29, cin = 3, cout = 5, k = 3;
    std::vector<float> image(size_t(h * w * cin)), filter(size_t(k * k * cin * cout));
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = float((i * 7919) % 23) - 11;
    for (size_t i = 0; i < filter.size(); ++i)
        filter[i] = float((i * 104729) % 13) / 13.0f - 0.5f;
    Tensor out = runOne("Conv2D", {floats({1, h, w, cin}, image), floats({k, k, cin, cout}, filter)}, convNode("SAME"));
    ASSERT_EQ(out.shape, (Shape{1, h, w, cout}));
    for (int y = 0; y < h; y += 5) {
        for (int x = 0; x < w; x += 4) {
            for (int o = 0; o < cout; ++o) {
                double sum = 0;
                for (int ky = 0; ky < k; ++ky)
                    for (int kx = 0; kx < k; ++kx)
                        for (int c = 0; c < cin; ++c) {
                            const int iy = y + ky - 1, ix = x + kx - 1;
                            if (iy >= 0 && iy < h && ix >= 0 && ix < w)
                                sum += image[size_t((iy * w + ix) * cin + c)] * filter[size_t(((ky * k + kx) * cin + c) * cout + o)];
                        }
                EXPECT_NEAR(out.f[size_t((y * w + x) * cout + o)], sum, 1e-3) << y << "," << x << "," << o;
            }
        }
    }
}

TEST(NnConvolution, DepthwiseKeepsChannelsApartAndHonoursTheMultiplier)
{
    // 2x2 image, channels (1,10),(2,20),(3,30),(4,40); 2x2 filter: channel 0 sums, channel 1 takes the first tap.
    const auto image = floats({1, 2, 2, 2}, {1, 10, 2, 20, 3, 30, 4, 40});
    const auto filter = floats({2, 2, 2, 1}, {1, 1, 1, 0, 1, 0, 1, 0});
    Tensor out = runOne("DepthwiseConv2dNative", {image, filter}, convNode("VALID"));
    EXPECT_EQ(out.shape, (Shape{1, 1, 1, 2}));
    EXPECT_THAT(values(out), ElementsAre(10, 10));
    // Multiplier 2 on one channel: outputs (x*1, x*-1).
    const auto single = floats({1, 1, 1, 1}, {3});
    Tensor doubled = runOne("DepthwiseConv2dNative", {single, floats({1, 1, 1, 2}, {1, -1})}, convNode("VALID"));
    EXPECT_THAT(values(doubled), ElementsAre(3, -3));

    NodeDef fused = convNode("VALID");
    fused.attrs.insert("fused_ops", stringsAttr({"BiasAdd", "Relu"}));
    Tensor relu = runOne("FusedDepthwiseConv2dNative", {single, floats({1, 1, 1, 2}, {1, -1}), floats({2}, {1, 1})}, fused);
    EXPECT_THAT(values(relu), ElementsAre(4, 0));
}

TEST(NnConvolution, MismatchesAreErrorsNotCrashes)
{
    const auto image = floats({1, 3, 3, 2}, std::vector<float>(18, 1));
    EXPECT_FALSE(failureOf("Conv2D", {image, floats({2, 2, 3, 1}, std::vector<float>(12, 1))}, convNode("SAME")).isEmpty());
    EXPECT_FALSE(failureOf("Conv2D", {image, floats({5, 5, 2, 1}, std::vector<float>(50, 1))}, convNode("VALID")).isEmpty());
    EXPECT_FALSE(failureOf("Conv2D", {image}, convNode("SAME")).isEmpty());
    EXPECT_FALSE(failureOf("Conv2D", {floats({9}, std::vector<float>(9, 1)), image}, convNode("SAME")).isEmpty());
    EXPECT_FALSE(failureOf("Conv2D", {image, floats({1, 1, 2, 1}, {1, 1})}, convNode("CIRCULAR")).isEmpty());
    NodeDef nchw = convNode("SAME");
    nchw.attrs.insert("data_format", stringAttr("NCHW"));
    EXPECT_FALSE(failureOf("Conv2D", {image, floats({1, 1, 2, 1}, {1, 1})}, nchw).isEmpty());
    NodeDef fused = convNode("SAME");
    fused.attrs.insert("fused_ops", stringsAttr({"BiasAdd"}));
    EXPECT_FALSE(failureOf("_FusedConv2D", {image, floats({1, 1, 2, 1}, {1, 1}), floats({3}, {1, 2, 3})}, fused).isEmpty());
}

TEST(NnPooling, MaxPoolIgnoresPaddingAndMatMulAddsBias)
{
    NodeDef pool = convNode("SAME", {1, 2, 2, 1});
    pool.attrs.insert("ksize", listAttr({1, 2, 2, 1}));
    const auto image = floats({1, 3, 3, 1}, {-1, -2, -3, -4, -5, -6, -7, -8, -9});
    // Padded cells would be 0 and win over negatives if they were counted.
    EXPECT_THAT(values(runOne("MaxPool", {image}, pool)), ElementsAre(-1, -3, -7, -9));

    NodeDef matmul;
    matmul.attrs.insert("fused_ops", stringsAttr({"BiasAdd", "Relu"}));
    const auto a = floats({2, 2}, {1, 2, 3, 4});
    const auto b = floats({2, 2}, {1, 0, 0, -1});
    EXPECT_THAT(values(runOne("_FusedMatMul", {a, b, floats({2}, {1, 1})}, matmul)), ElementsAre(2, 0, 4, 0));
    matmul.attrs.insert("transpose_b", boolAttr(true));
    // b transposed is [[1,0],[0,-1]] again; a 3x2 weight does not fit.
    EXPECT_THAT(values(runOne("_FusedMatMul", {a, b, floats({2}, {0, 0})}, matmul)), ElementsAre(1, 0, 3, 0));
    EXPECT_FALSE(failureOf("_FusedMatMul", {a, floats({3, 2}, std::vector<float>(6, 1)), floats({2}, {0, 0})}, matmul).isEmpty());
}

TEST(NnElementwise, BroadcastingFollowsNumPyRules)
{
    const auto matrix = floats({2, 3}, {1, 2, 3, 4, 5, 6});
    EXPECT_THAT(values(runOne("Add", {matrix, floats({3}, {10, 20, 30})})), ElementsAre(11, 22, 33, 14, 25, 36));
    EXPECT_THAT(values(runOne("AddV2", {floats({2, 1}, {100, 200}), matrix})), ElementsAre(101, 102, 103, 204, 205, 206));
    EXPECT_THAT(values(runOne("Sub", {matrix, floats({}, {1})})), ElementsAre(0, 1, 2, 3, 4, 5));
    EXPECT_THAT(values(runOne("Mul", {floats({1, 3}, {0, 1, 2}), matrix})), ElementsAre(0, 2, 6, 0, 5, 12));
    // Broadcasting both sides at once: [2,1] x [1,3].
    Tensor outer = runOne("Mul", {floats({2, 1}, {1, 2}), floats({1, 3}, {1, 10, 100})});
    EXPECT_EQ(outer.shape, (Shape{2, 3}));
    EXPECT_THAT(values(outer), ElementsAre(1, 10, 100, 2, 20, 200));
    EXPECT_THAT(values(runOne("Maximum", {matrix, floats({}, {3.5f})})), ElementsAre(3.5f, 3.5f, 3.5f, 4, 5, 6));
    EXPECT_THAT(values(runOne("Minimum", {matrix, floats({}, {3.5f})})), ElementsAre(1, 2, 3, 3.5f, 3.5f, 3.5f));
    EXPECT_FALSE(failureOf("Add", {matrix, floats({2}, {1, 2})}).isEmpty());
    EXPECT_FALSE(failureOf("Add", {matrix, ints({3}, {1, 2, 3})}).isEmpty());

    // Large per-channel tensors take the parallel path; the result must not change.
    std::vector<float> big(70000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = float(i % 7);
    Tensor scaled = runOne("Mul", {floats({1, 10000, 7}, big), floats({1, 1, 7}, {0, 1, 2, 3, 4, 5, 6})});
    for (size_t i = 0; i < big.size(); i += 997)
        EXPECT_EQ(scaled.f[i], float((i % 7) * (i % 7)));
}

TEST(NnElementwise, IntegerDivisionRoundsTowardMinusInfinity)
{
    const auto a = ints({4}, {7, -7, 7, -7});
    const auto b = ints({4}, {2, 2, -2, -2});
    EXPECT_THAT(intValues(runOne("FloorDiv", {a, b})), ElementsAre(3, -4, -4, 3));
    EXPECT_THAT(intValues(runOne("FloorMod", {a, b})), ElementsAre(1, 1, -1, -1));
    EXPECT_THAT(values(runOne("FloorMod", {floats({2}, {-7, 7.5f}), floats({2}, {2, 2})})), ElementsAre(1, 1.5f));
    EXPECT_TRUE(failureOf("FloorDiv", {a, ints({}, {0})}).contains("zero"));
    // Overflow wraps instead of being undefined.
    EXPECT_THAT(intValues(runOne("Add", {ints({1}, {2147483647}), ints({1}, {1})})), ElementsAre(-2147483647 - 1));
}

TEST(NnElementwise, ComparisonsActivationsAndCasts)
{
    Tensor same = runOne("Equal", {floats({3}, {1, 2, 3}), floats({3}, {1, 0, 3})});
    EXPECT_EQ(same.dtype, DType::Bool);
    EXPECT_THAT(intValues(same), ElementsAre(1, 0, 1));

    NodeDef toFloat;
    toFloat.attrs.insert("DstT", typeAttr("DT_FLOAT"));
    EXPECT_THAT(values(runOne("Cast", {std::make_shared<const Tensor>(same)}, toFloat)), ElementsAre(1, 0, 1));
    NodeDef toInt;
    toInt.attrs.insert("DstT", typeAttr("DT_INT32"));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_THAT(intValues(runOne("Cast", {floats({4}, {-2.7f, 2.7f, 1e20f, nan})}, toInt)),
                ElementsAre(-2, 2, 2147483647, 0));

    EXPECT_THAT(values(runOne("Relu", {floats({3}, {-1, 0, 2})})), ElementsAre(0, 0, 2));
    EXPECT_THAT(values(runOne("Relu6", {floats({3}, {-1, 3, 9})})), ElementsAre(0, 3, 6));
    EXPECT_THAT(values(runOne("Sigmoid", {floats({3}, {0, 100, -100})})),
                Pointwise(FloatNear(1e-6), std::vector<float>{0.5f, 1, 0}));
    // Softmax along the last axis; large inputs do not overflow.
    const float e = std::exp(1.0f);
    EXPECT_THAT(values(runOne("Softmax", {floats({2, 2}, {0, 1, 1000, 1000})})),
                Pointwise(FloatNear(1e-6), std::vector<float>{1 / (1 + e), e / (1 + e), 0.5f, 0.5f}));
}

TEST(NnReduction, MeanOverAxesWithAndWithoutKeptDimensions)
{
    // [1,2,2,2]: channel 0 is 1,2,3,4; channel 1 is 10,20,30,40.
    const auto image = floats({1, 2, 2, 2}, {1, 10, 2, 20, 3, 30, 4, 40});
    NodeDef keep;
    keep.attrs.insert("keep_dims", boolAttr(true));
    Tensor kept = runOne("Mean", {image, ints({2}, {1, 2})}, keep);
    EXPECT_EQ(kept.shape, (Shape{1, 1, 1, 2}));
    EXPECT_THAT(values(kept), ElementsAre(2.5f, 25));
    Tensor dropped = runOne("Mean", {image, ints({2}, {-3, -2})});
    EXPECT_EQ(dropped.shape, (Shape{1, 2}));
    EXPECT_THAT(values(dropped), ElementsAre(2.5f, 25));
    // Over the channels instead: a non-trailing layout.
    EXPECT_THAT(values(runOne("Mean", {image, ints({1}, {3})})), ElementsAre(5.5f, 11, 16.5f, 22));
    EXPECT_FALSE(failureOf("Mean", {image, ints({1}, {4})}).isEmpty());
}

TEST(NnShapes, ReshapeExpandConcatAndPad)
{
    const auto values6 = floats({2, 3}, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(runOne("Reshape", {values6, ints({2}, {3, -1})}).shape, (Shape{3, 2}));
    EXPECT_FALSE(failureOf("Reshape", {values6, ints({2}, {4, -1})}).isEmpty());
    EXPECT_FALSE(failureOf("Reshape", {values6, ints({2}, {-1, -1})}).isEmpty());
    EXPECT_EQ(runOne("ExpandDims", {values6, ints({}, {-1})}).shape, (Shape{2, 3, 1}));
    EXPECT_FALSE(failureOf("ExpandDims", {values6, ints({}, {4})}).isEmpty());

    Tensor joined = runOne("ConcatV2", {values6, floats({2, 1}, {7, 8}), ints({}, {1})});
    EXPECT_EQ(joined.shape, (Shape{2, 4}));
    EXPECT_THAT(values(joined), ElementsAre(1, 2, 3, 7, 4, 5, 6, 8));
    EXPECT_FALSE(failureOf("ConcatV2", {values6, floats({3, 1}, {7, 8, 9}), ints({}, {1})}).isEmpty());

    Tensor padded = runOne("Pad", {floats({1, 2}, {1, 2}), ints({2, 2}, {1, 0, 0, 2})});
    EXPECT_EQ(padded.shape, (Shape{2, 4}));
    EXPECT_THAT(values(padded), ElementsAre(0, 0, 0, 0, 1, 2, 0, 0));
    EXPECT_FALSE(failureOf("Pad", {values6, ints({2, 2}, {-1, 0, 0, 0})}).isEmpty());
}

TEST(NnShapes, StridedSliceMasksAndGather)
{
    const auto grid = floats({3, 4}, {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23});
    NodeDef node;
    Tensor middle = runOne("StridedSlice", {grid, ints({2}, {1, 1}), ints({2}, {3, 3}), ints({2}, {1, 1})}, node);
    EXPECT_EQ(middle.shape, (Shape{2, 2}));
    EXPECT_THAT(values(middle), ElementsAre(11, 12, 21, 22));
    // begin_mask and end_mask on both axes with a stride of 2 on the second; shrink the first.
    node.attrs.insert("begin_mask", intAttr(3));
    node.attrs.insert("end_mask", intAttr(3));
    Tensor everyOther = runOne("StridedSlice", {grid, ints({2}, {0, 0}), ints({2}, {0, 0}), ints({2}, {1, 2})}, node);
    EXPECT_THAT(values(everyOther), ElementsAre(0, 2, 10, 12, 20, 22));
    NodeDef shrink;
    shrink.attrs.insert("shrink_axis_mask", intAttr(1));
    Tensor lastRow = runOne("StridedSlice", {grid, ints({1}, {-1}), ints({1}, {0}), ints({1}, {1})}, shrink);
    EXPECT_EQ(lastRow.shape, (Shape{4}));
    EXPECT_THAT(values(lastRow), ElementsAre(20, 21, 22, 23));
    NodeDef reversed;
    Tensor backwards = runOne("StridedSlice", {floats({4}, {1, 2, 3, 4}), ints({1}, {-1}), ints({1}, {-5}), ints({1}, {-1})}, reversed);
    EXPECT_THAT(values(backwards), ElementsAre(4, 3, 2, 1));
    EXPECT_FALSE(failureOf("StridedSlice", {grid, ints({1}, {5}), ints({1}, {6}), ints({1}, {1})}, shrink).isEmpty());

    Tensor rows = runOne("GatherV2", {grid, ints({2}, {2, 0}), ints({}, {0})});
    EXPECT_EQ(rows.shape, (Shape{2, 4}));
    EXPECT_THAT(values(rows), ElementsAre(20, 21, 22, 23, 0, 1, 2, 3));
    Tensor columns = runOne("GatherV2", {grid, ints({1}, {3}), ints({}, {1})});
    EXPECT_THAT(values(columns), ElementsAre(3, 13, 23));
    EXPECT_FALSE(failureOf("GatherV2", {grid, ints({1}, {3}), ints({}, {0})}).isEmpty());
}

TEST(NnShapes, TopKAndBilinearResize)
{
    const auto scores = floats({2, 4}, {0.1f, 0.9f, 0.5f, 0.9f, 4, 3, 2, 1});
    const Kernel topK = findKernel("TopKV2");
    auto result = topK({}, {scores, ints({}, {2})});
    ASSERT_TRUE(result.hasValue());
    // Ties keep their original order.
    EXPECT_THAT(values((*result)[0]), ElementsAre(0.9f, 0.9f, 4, 3));
    EXPECT_THAT(intValues((*result)[1]), ElementsAre(1, 3, 0, 1));
    EXPECT_FALSE(failureOf("TopKV2", {scores, ints({}, {5})}).isEmpty());

    // 1x2 -> 1x4 without corner alignment: source x = 0, 0.5, 1, 1.5 (clamped to 1).
    const auto row = floats({1, 1, 2, 1}, {0, 10});
    EXPECT_THAT(values(runOne("ResizeBilinear", {row, ints({2}, {1, 4})})), ElementsAre(0, 5, 10, 10));
    NodeDef aligned;
    aligned.attrs.insert("align_corners", boolAttr(true));
    EXPECT_THAT(values(runOne("ResizeBilinear", {row, ints({2}, {1, 3})}, aligned)), ElementsAre(0, 5, 10));
    NodeDef halfPixel;
    halfPixel.attrs.insert("half_pixel_centers", boolAttr(true));
    // source x = (k + 0.5) / 2 - 0.5 = -0.25, 0.25, 0.75, 1.25.
    EXPECT_THAT(values(runOne("ResizeBilinear", {row, ints({2}, {1, 4})}, halfPixel)), ElementsAre(0, 2.5f, 7.5f, 10));
    EXPECT_FALSE(failureOf("ResizeBilinear", {row, ints({2}, {0, 4})}).isEmpty());
}
