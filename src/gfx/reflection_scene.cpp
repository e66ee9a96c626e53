// The reflection scene: a bouncing colour cube over a mirroring checkerboard
// floor.  The stencil buffer confines the mirrored cube to the floor and
// lets the planar shadow darken each floor pixel only once.
#include "reflection_scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "draw_2d.h"
#include "fade_overlay.h"
#include "show_state.h"

const float cube_positions[72] = {
    -1, -1, 1,  1, -1, 1,  1, 1, 1,  -1, 1, 1,      // front (+z)
    -1, -1, -1, 1, -1, -1, 1, 1, -1, -1, 1, -1,     // back (-z)
    -1, -1, -1, 1, -1, -1, 1, -1, 1, -1, -1, 1,     // bottom (-y)
    -1, 1, 1,   1, 1, 1,   1, 1, -1, -1, 1, -1,     // top (+y)
    -1, -1, -1, -1, -1, 1, -1, 1, 1, -1, 1, -1,     // left (-x)
    1, -1, 1,   1, -1, -1, 1, 1, -1, 1, 1, 1,       // right (+x)
};

const float cube_normals[72] = {
    0, 0, 1,  0, 0, 1,  0, 0, 1,  0, 0, 1,
    0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1,
    0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0,
    0, 1, 0,  0, 1, 0,  0, 1, 0,  0, 1, 0,
    -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0,
    1, 0, 0,  1, 0, 0,  1, 0, 0,  1, 0, 0,
};

const uint16_t cube_indices[36] = {
    0,  1,  2,  2,  3,  0,  5,  4,  7,  7,  6,  5,  8,  9,  10, 10, 11, 8,
    12, 13, 14, 14, 15, 12, 16, 17, 18, 18, 19, 16, 20, 21, 22, 22, 23, 20,
};

const float reflection_light_position[4] = {20, 8, 0, 1};
ReflectionScene reflection_scene = {};

namespace {
constexpr int floor_block = 8;  // cells a side
constexpr int floor_blocks = 128 / floor_block;
constexpr float floor_fog_end = 45;
const float spot_direction[3] = {-8, -0.75f, 0};
// The plane y = 0 with its normal scaled up; any positive multiple casts the same shadow.
const float ground_plane[4] = {0, 65536, 0, -0.0f};
}  // namespace

CubeMesh* make_cube_mesh() {
  CubeMesh* cube = static_cast<CubeMesh*>(std::malloc(sizeof(CubeMesh)));
  float* positions = static_cast<float*>(std::malloc(sizeof cube_positions));
  uint16_t* indices = static_cast<uint16_t*>(std::malloc(sizeof cube_indices));
  if (!cube || !positions || !indices) {
    std::free(cube);
    std::free(positions);
    std::free(indices);
    return nullptr;
  }
  std::memset(cube, 0, sizeof(CubeMesh));
  std::memcpy(positions, cube_positions, sizeof cube_positions);
  std::memcpy(indices, cube_indices, sizeof cube_indices);
  cube->positions = positions;
  cube->indices = indices;
  cube->index_count = 36;
  return cube;
}

void compute_shadow_matrix(const float plane[4], const float light[4], float out[16]) {
  const float d = plane[0] * light[0] + plane[1] * light[1] + plane[2] * light[2] + plane[3] * light[3];
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) out[4 * c + r] = (r == c ? d : 0.0f) - light[r] * plane[c];
  }
}

float floor_cell_grey(int32_t i, int32_t j) { return (i + j) % 2 != 0 ? 0.5f : 0.0f; }

void compute_cube_colours(float t, float out[72]) {
  for (int k = 0; k < 72; ++k) out[k] = std::fabs(std::cos(static_cast<float>(k) + (t + 0.0005f)));
}

void draw_cube_mesh(const CubeMesh* cube) {
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, cube->positions);
  glNormalPointer(GL_FLOAT, 0, cube_normals);
  glDrawElements(GL_TRIANGLES, cube->index_count, GL_UNSIGNED_SHORT, cube->indices);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
}

// The floor in blocks of floor_block x floor_block cells, one list each, so
// that a frame can leave out the blocks that cannot change a pixel.
static void build_floor_lists() {
  reflection_scene.floor_lists = glGenLists(floor_blocks * floor_blocks);
  for (int block = 0; block < floor_blocks * floor_blocks; ++block) {
    glNewList(reflection_scene.floor_lists + block, GL_COMPILE);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_TRIANGLES);
    const int first_row = block / floor_blocks * floor_block, first_column = block % floor_blocks * floor_block;
    for (int i = first_row; i < first_row + floor_block; ++i) {
      for (int j = first_column; j < first_column + floor_block; ++j) {
        const float g = floor_cell_grey(i, j);
        glColor4f(g, g, g, 0.8f);
        glNormal3f(0, 1, 0);
        const float x0 = j - 64.0f, x1 = j - 63.0f, z0 = i - 64.0f, z1 = i - 63.0f;
        glVertex3f(x0, 0, z1);
        glVertex3f(x1, 0, z1);
        glVertex3f(x1, 0, z0);
        glVertex3f(x1, 0, z0);
        glVertex3f(x0, 0, z0);
        glVertex3f(x0, 0, z1);
      }
    }
    glEnd();
    glEndList();
  }
}

bool floor_block_unseen(const float modelview[16], const float projection[16], float x0, float z0, float x1,
                        float z1, float fog_end) {
  const float corners[4][2] = {{x0, z0}, {x1, z0}, {x1, z1}, {x0, z1}};
  int outside[7] = {};  // per clip plane (-x, +x, -y, +y, near, far), then beyond the fog
  for (const auto& corner : corners) {
    double eye[4], clip[4];
    for (int r = 0; r < 4; ++r)
      eye[r] = double(modelview[r]) * corner[0] + double(modelview[12 + r]) + double(modelview[8 + r]) * corner[1];
    for (int r = 0; r < 4; ++r)
      clip[r] = double(projection[r]) * eye[0] + double(projection[4 + r]) * eye[1] +
                double(projection[8 + r]) * eye[2] + double(projection[12 + r]) * eye[3];
    // A margin keeps rounding in the driver from letting a culled corner back in.
    const double w = clip[3], margin = 1e-3 * (std::fabs(w) + 1);
    outside[0] += clip[0] < -w - margin;
    outside[1] += clip[0] > w + margin;
    outside[2] += clip[1] < -w - margin;
    outside[3] += clip[1] > w + margin;
    outside[4] += clip[2] < -w - margin;
    outside[5] += clip[2] > w + margin;
    outside[6] += -eye[2] > fog_end * 1.01 + 0.01;
  }
  for (int count : outside) {
    if (count == 4) return true;
  }
  return false;
}

// Draws the floor's blocks that may show: those wholly outside the view make no
// pixel, and those wholly past the fog's end would paint black over black.
static void draw_visible_floor() {
  float modelview[16], projection[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  for (int block = 0; block < floor_blocks * floor_blocks; ++block) {
    const float x0 = static_cast<float>(block % floor_blocks * floor_block) - 64.0f;
    const float z0 = static_cast<float>(block / floor_blocks * floor_block) - 64.0f;
    if (!floor_block_unseen(modelview, projection, x0, z0, x0 + floor_block, z0 + floor_block, floor_fog_end))
      glCallList(reflection_scene.floor_lists + block);
  }
  // As the whole floor would leave them: its last cell's colour (the material too) and normal.
  const float last_grey = floor_cell_grey(127, 127);
  glColor4f(last_grey, last_grey, last_grey, 0.8f);
  glNormal3f(0, 1, 0);
  glDisable(GL_TEXTURE_2D);
}

// The floor's square as two triangles, wound as the cells are, leaving the
// colour, normal and texture state that the whole floor leaves.
static void build_floor_outline_list() {
  reflection_scene.floor_outline_list = glGenLists(1);
  glNewList(reflection_scene.floor_outline_list, GL_COMPILE);
  glDisable(GL_TEXTURE_2D);
  glBegin(GL_TRIANGLES);
  const float last_grey = floor_cell_grey(127, 127);
  glColor4f(last_grey, last_grey, last_grey, 0.8f);
  glNormal3f(0, 1, 0);
  glVertex3f(-64, 0, 64);
  glVertex3f(64, 0, 64);
  glVertex3f(64, 0, -64);
  glVertex3f(64, 0, -64);
  glVertex3f(-64, 0, -64);
  glVertex3f(-64, 0, 64);
  glEnd();
  glEndList();
}

void build_reflection_scene() {
  if (reflection_scene.floor_lists == 0) build_floor_lists();
  if (reflection_scene.floor_outline_list == 0) build_floor_outline_list();
  if (!reflection_scene.cube) reflection_scene.cube = make_cube_mesh();
  reflection_scene.start = frame_time;

  glFogi(GL_FOG_MODE, GL_LINEAR);
  glHint(GL_FOG_HINT, GL_NICEST);
  const float fog_colour[4] = {0, 0, 0, 1};
  glFogfv(GL_FOG_COLOR, fog_colour);
  glFogf(GL_FOG_START, 15);
  glFogf(GL_FOG_END, floor_fog_end);
  const float ambient[4] = {0.2f, 0.2f, 0.2f, 1};
  const float diffuse[4] = {0.8f, 0.8f, 0.8f, 1};
  const float white[4] = {1, 1, 1, 1};
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, white);
  glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 60);
  glLightf(GL_LIGHT0, GL_SPOT_EXPONENT, 2);
  glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, 0);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 32);

  start_scene_flash();
}

void apply_cube_transform(float tau) {
  const float s = std::sin(tau), c = std::cos(tau);
  glTranslatef(0, std::fabs(5 * s) + 1, 0);
  glRotatef(270 * s, 1, 0, 0);
  glRotatef(220 * c, 0, 1, 0);
  glRotatef(180 * s, 0, 0, 1);
}

static void draw_coloured_cube() {
  glEnableClientState(GL_COLOR_ARRAY);
  glColorPointer(3, GL_FLOAT, 0, reflection_scene.cube_colours);
  draw_cube_mesh(reflection_scene.cube);
  glDisableClientState(GL_COLOR_ARRAY);
}

void draw_reflection_scene() {
  const float t = frame_time;
  const float tau = t - reflection_scene.start;
  compute_shadow_matrix(ground_plane, reflection_light_position, reflection_scene.shadow_matrix);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  compute_cube_colours(t, reflection_scene.cube_colours);

  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
  glEnable(GL_MULTISAMPLE);
  set_perspective(screen_width, screen_height, 0.5f, 1000);
  const float a = 0.2f * tau;
  gluLookAt(15 * std::sin(a), 8, 15 * std::cos(a), 0, 2, 0, 0, 1, 0);

  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_FOG);
  glDisable(GL_DEPTH_TEST);

  // The floor's pixels get stencil 1; only there may the reflection appear.
  glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
  glEnable(GL_STENCIL_TEST);
  glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
  glStencilFunc(GL_ALWAYS, 1, 0xFFFFFFFFu);
  // Nothing of this pass reaches the colour buffer, so its vertices need no lighting or fog,
  // and the floor's outline marks the same pixels as its 32,768 triangles.
  glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  glCallList(reflection_scene.floor_outline_list);
  glEnable(GL_LIGHTING);
  glEnable(GL_FOG);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  glStencilFunc(GL_EQUAL, 1, 0xFFFFFFFFu);
  glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);

  // Without its cube the scene still shows the floor, rather than touching null.
  const bool cube = reflection_scene.cube != nullptr;
  glPushMatrix();
  // The light is placed before the mirror so that it is not mirrored itself.
  glLightfv(GL_LIGHT0, GL_POSITION, reflection_light_position);
  glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, spot_direction);
  glScalef(1, -1, 1);
  glCullFace(GL_FRONT);  // the mirror turns the winding round
  apply_cube_transform(tau);
  if (cube) draw_coloured_cube();
  glPopMatrix();

  glDisable(GL_STENCIL_TEST);
  glLightfv(GL_LIGHT0, GL_POSITION, reflection_light_position);
  glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, spot_direction);
  glCullFace(GL_BACK);

  // The floor blended over the reflection; its visible pixels take stencil 3.
  glEnable(GL_STENCIL_TEST);
  glStencilFunc(GL_ALWAYS, 3, 0xFFFFFFFFu);
  glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  draw_visible_floor();
  glDisable(GL_BLEND);

  // The shadow: drawn only where stencil is 3, and it sets 2, so overlapping
  // shadow triangles darken a pixel once.
  glPushMatrix();
  glStencilFunc(GL_LESS, 2, 0xFFFFFFFFu);
  glStencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_POLYGON_OFFSET_FILL);  // with the offsets at GL's defaults, which move nothing
  glEnable(GL_BLEND);
  glDisable(GL_LIGHTING);
  glColor4f(0, 0, 0, 0.5f);
  glMultMatrixf(reflection_scene.shadow_matrix);
  apply_cube_transform(tau);
  if (cube) draw_cube_mesh(reflection_scene.cube);
  glDisable(GL_BLEND);
  glEnable(GL_LIGHTING);
  glColor4f(1, 1, 1, 1);
  glDisable(GL_POLYGON_OFFSET_FILL);
  glDisable(GL_STENCIL_TEST);
  glEnable(GL_DEPTH_TEST);
  glPopMatrix();

  glPushMatrix();
  apply_cube_transform(tau);
  if (cube) draw_coloured_cube();
  glPopMatrix();

  glColor4f(1, 1, 1, 1);
  glDisable(GL_LIGHTING);
  glDisable(GL_COLOR_MATERIAL);
}
