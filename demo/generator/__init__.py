# The demo root's generator, split by what each part does: plan (data), geometry,
# canvas, blocks and streets (the drawing layers), render (ImageMagick), files
# (BMP, configuration texts, chime) and check (the committed root's consistency).
