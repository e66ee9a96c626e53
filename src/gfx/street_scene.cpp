// The street scene: grass, six road segments end to end and the logo
// bouncing up and down the road while it spins, under a directional light
// and black fog.  Both meshes are flattened once into display lists.
#include "street_scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <string>
#include <vector>

#include "draw_2d.h"
#include "embedded_assets.h"
#include "fade_overlay.h"
#include "mesh.h"
#include "show_state.h"
#include "texture.h"

uint32_t logo_list = 0;
uint32_t street_list = 0;
uint32_t ground_list = 0;
Texture* street_texture = nullptr;
Texture* grass_texture = nullptr;

namespace {

float street_start = 0;

std::string asset_text(const unsigned char* bytes, int32_t size) {
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
}

const std::string street_obj = asset_text(asset_streetroad_obj, asset_streetroad_obj_size);
const std::string street_mtl = asset_text(asset_streetroad_mtl, asset_streetroad_mtl_size);
const std::string logo_obj = asset_text(asset_logo_obj, asset_logo_obj_size);
const std::string logo_mtl = asset_text(asset_logo_mtl, asset_logo_mtl_size);

// A 2 x 2 quad that the draw scales to 200 x 200, with the grass repeated 100 times each way.
const float ground_positions[12] = {-1, 0, -1, 1, 0, -1, 1, 0, 1, -1, 0, 1};
const float ground_texcoords[8] = {0, 0, 100, 0, 100, 100, 0, 100};
const float ground_normals[12] = {0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0};
const uint16_t ground_indices[6] = {0, 3, 2, 2, 1, 0};

// Compiles one mesh into a display list: textured (the road) or pure green (the logo).
GLuint compile_mesh(const std::string& obj, const std::string& mtl, bool textured,
                    const Texture* texture) {
  std::vector<uint32_t> indices;
  std::vector<MeshVertex> vertices = load_mesh(indices, obj, mtl);
  const GLuint list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
  if (textured) {
    glEnable(GL_TEXTURE_2D);
    if (texture) glBindTexture(GL_TEXTURE_2D, texture->id);
  } else {
    glDisable(GL_TEXTURE_2D);
    glColor3f(0, 1, 0);  // the logo is pure green whatever its material says
  }
  // A text with no faces parses but gives nothing to point the arrays at.
  if (!vertices.empty()) {
    const MeshVertex* first = vertices.data();
    if (textured) {
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      glTexCoordPointer(2, GL_FLOAT, sizeof(MeshVertex), first->uv);
    }
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(MeshVertex), first->position);
    glNormalPointer(GL_FLOAT, sizeof(MeshVertex), first->normal);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, indices.data());
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    if (textured) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  glPopAttrib();
  glEndList();
  return list;  // the list holds its own copy; the mesh goes out of scope here
}

}  // namespace

float logo_travel(float tau) { return std::fabs(75 * std::sin(0.5f * tau)); }

void build_street_scene() {
  if (logo_list == 0) logo_list = compile_mesh(logo_obj, logo_mtl, false, nullptr);
  if (street_list == 0) {
    street_texture = load_texture_bmp(asset_streetroad_bmp, asset_streetroad_bmp_size, GL_LINEAR,
                                      GL_LINEAR, GL_REPEAT, GL_REPEAT);
    street_list = compile_mesh(street_obj, street_mtl, true, street_texture);
  }
  if (ground_list == 0) {
    grass_texture = load_texture_bmp(asset_grass_bmp, asset_grass_bmp_size, GL_LINEAR, GL_LINEAR,
                                     GL_REPEAT, GL_REPEAT);
    ground_list = glGenLists(1);
    glNewList(ground_list, GL_COMPILE);
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnable(GL_TEXTURE_2D);
    if (grass_texture) glBindTexture(GL_TEXTURE_2D, grass_texture->id);
    glVertexPointer(3, GL_FLOAT, 0, ground_positions);
    glTexCoordPointer(2, GL_FLOAT, 0, ground_texcoords);
    glNormalPointer(GL_FLOAT, 0, ground_normals);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, ground_indices);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glPopAttrib();
    glEndList();
  }

  const float ambient[4] = {0.2f, 0.25f, 0.35f, 1};
  const float diffuse[4] = {0.6f, 0.95f, 0.8f, 1};
  const float white[4] = {1, 1, 1, 1};
  const float black[4] = {0, 0, 0, 1};
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, white);
  glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 60);
  glLightf(GL_LIGHT0, GL_SPOT_EXPONENT, 2);
  glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, 0.5f);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, white);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 128);
  glFogi(GL_FOG_MODE, GL_LINEAR);
  glHint(GL_FOG_HINT, GL_NICEST);
  glFogf(GL_FOG_START, 20);
  glFogf(GL_FOG_END, 60);
  glFogfv(GL_FOG_COLOR, black);

  street_start = frame_time;
  start_scene_flash();
}

void draw_street_scene() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
  glEnable(GL_MULTISAMPLE);
  set_perspective(screen_width, screen_height, 0.5f, 1000);
  gluLookAt(6, 4, -10, 0, 4, 0, 0, 1, 0);

  const float light_direction[4] = {6, 10, -4, 0};
  const float spot_direction[3] = {0, -0.6f, 0};
  glLightfv(GL_LIGHT0, GL_POSITION, light_direction);
  glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, spot_direction);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_FOG);
  glEnable(GL_DEPTH_TEST);

  // The ground is a backdrop: drawn without depth test, it never hides anything.
  glPushAttrib(GL_ENABLE_BIT);
  glDisable(GL_DEPTH_TEST);
  glPushMatrix();
  glScalef(100, 1, 100);
  glCallList(ground_list);
  glPopMatrix();
  glPopAttrib();

  glPushMatrix();
  glColor4f(1, 1, 1, 1);
  glTranslatef(0, 0.1f, -4);
  glCallList(street_list);
  for (int segment = 1; segment < 6; ++segment) {
    glTranslatef(0, 0, 20);
    glCallList(street_list);
  }
  glPopMatrix();

  glPushMatrix();
  glTranslatef(0, 4, 70);
  glTranslatef(0, 0, -logo_travel(frame_time - street_start));
  glRotatef(90 * frame_time, 0, 1, 0);  // turns with the show clock, not the scene's
  glCallList(logo_list);
  glPopMatrix();

  glColor4f(1, 1, 1, 1);
  glDisable(GL_LIGHTING);
  glDisable(GL_COLOR_MATERIAL);
}
