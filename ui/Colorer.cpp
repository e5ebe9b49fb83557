// Placeholder of the colour picker until its module lands: keeps the colour and converts between GRAY, RGB and CMYK; no widgets but an empty form.
#include "ui/Colorer.h"
#include <Xm/Form.h>
#include <algorithm>
struct Colorer { Widget form = nullptr; ColorValue cur{COLOR_RGB,0,0,0,0,0,0,0,0,0,0,0,0}; int space = COLOR_RGB; };
static int F0(int v){return std::max(0,v);}
void Colorer_Convert(const ColorValue *src, ColorValue *dst){
  int space=dst->mode; const ColorValue&c=*src; ColorValue o=c; o.mode=space; int from=c.mode;
  if (from==space){*dst=c;return;}
  if (from == COLOR_GRAY && space == COLOR_RGB) o.red = o.green = o.blue = c.grey;
  else if (from == COLOR_GRAY) { o.cyan = o.magenta = o.yellow = 0; o.black = 255 - c.grey; }
  else if (from == COLOR_RGB && space == COLOR_GRAY) o.grey = (c.red + c.green + c.blue) / 3;
  else if (from == COLOR_RGB) { o.cyan = 255 - c.red, o.magenta = 255 - c.green, o.yellow = 255 - c.blue, o.black = 0; }
  else if (from == COLOR_CMYK && space == COLOR_GRAY) o.grey = F0(255 - (c.cyan + c.magenta + c.yellow) / 3 - c.black);
  else if (from == COLOR_CMYK) { o.red = F0(255 - (c.cyan + c.black)); o.green = F0(255 - (c.magenta + c.black)); o.blue = F0(255 - (c.yellow + c.black)); }
  *dst=o;
}
Colorer *Colorer_Create(Widget parent, const char *name, const ColorerContext *, int){
  auto *c=new Colorer; if(parent) c->form=XtVaCreateWidget(name, xmFormWidgetClass, parent, XmNwidth, 300, XmNheight, 90, nullptr); return c;}
void Colorer_Destroy(Colorer *c){delete c;}
Widget Colorer_Manager(const Colorer *c){return c->form;}
void Colorer_ResetContext(Colorer *c, int32_t space, const ColorValue *col){ if(space==c->space&&!col)return; ColorValue d; d.mode=space; Colorer_Convert(col?col:&c->cur,&d); c->cur=d; c->space=space;}
void Colorer_SetColor(Colorer *c, const ColorValue *col){ c->cur=*col; }
void Colorer_GetColor(const Colorer *c, ColorValue *out){ ColorValue d; d.mode=c->space; Colorer_Convert(&c->cur,&d); *out=d;}
void Colorer_SetImage(Colorer *, Image *){}
void Colorer_SetWheelImage(Colorer *, Image *){}
