#!/usr/bin/env python3
"""Writes NIfTI-1 images with nibabel into FOLDER and prints, per image, what
nibabel reads back from the file:

  <file> <unit> <sform_code> <qform_code> <nx> <ny> <nz> <zx> <zy> <zz> <12 affine numbers>

(the affine's first three rows, row by row; unit as nibabel names it).
Exit code 3 when nibabel is missing."""
import math
import os
import sys

try:
    import nibabel as nib
    import numpy as np
except ImportError as e:
    print(f"nibabel is missing ({e}): install python3-nibabel (scripts/install-deps)",
          file=sys.stderr)
    sys.exit(3)


def rotation(ax, ay, az):
    """Rotation about x, then y, then z (radians)."""
    cx, sx, cy, sy, cz, sz = (math.cos(ax), math.sin(ax), math.cos(ay), math.sin(ay),
                              math.cos(az), math.sin(az))
    rx = np.array([[1, 0, 0], [0, cx, -sx], [0, sx, cx]])
    ry = np.array([[cy, 0, sy], [0, 1, 0], [-sy, 0, cy]])
    rz = np.array([[cz, -sz, 0], [sz, cz, 0], [0, 0, 1]])
    return rz @ ry @ rx


def affine(rot, zooms, offset, flip_z=False):
    a = np.eye(4)
    z = np.array(zooms, dtype=float)
    if flip_z:
        z[2] = -z[2]
    a[:3, :3] = rot @ np.diag(z)
    a[:3, 3] = offset
    return a


def make(folder, name, shape, zooms, sform=None, sform_code=0, qform=None, qform_code=0,
         unit='mm', byte_order='<', pair=False):
    cls, hcls = (nib.Nifti1Pair, nib.nifti1.Nifti1PairHeader) if pair else (nib.Nifti1Image,
                                                                     nib.Nifti1Header)
    data = (np.arange(np.prod(shape)) % 251).astype(np.uint8).reshape(shape)
    header = hcls(endianness=byte_order)
    img = cls(data, None, header)
    img.header.set_zooms(zooms)
    img.header.set_xyzt_units(xyz=unit)
    img.set_sform(sform, code=sform_code)
    img.set_qform(qform, code=qform_code)
    path = os.path.join(folder, name)
    nib.save(img, path)
    return path


def main():
    folder = sys.argv[1]
    shape = (20, 24, 18)
    zooms = (0.9, 1.1, 1.3)
    oblique = affine(rotation(0.3, -0.2, 0.5), zooms, (-91.5, 120.25, -60.0))
    # An sform may shear, which no qform can.
    sheared = oblique.copy()
    sheared[0, 1] += 0.25
    tilted = affine(rotation(-0.1, 0.25, -0.4), zooms, (10.0, -20.0, 30.5))
    flipped = affine(rotation(0.2, 0.1, 2.8), zooms, (95.0, -110.0, 70.0), flip_z=True)

    paths = [
        make(folder, 'oblique_sform.nii', shape, zooms, sform=sheared, sform_code=1),
        make(folder, 'qform_only.nii', shape, zooms, qform=tilted, qform_code=1),
        make(folder, 'qform_qfac_negative.nii', shape, zooms, qform=flipped, qform_code=2),
        make(folder, 'both_sform_wins.nii', shape, zooms, sform=oblique, sform_code=2,
             qform=tilted, qform_code=1),
        make(folder, 'neither.nii', shape, zooms),
        make(folder, 'big_endian.nii', shape, zooms, sform=sheared, sform_code=1,
             qform=tilted, qform_code=1, byte_order='>'),
        make(folder, 'compressed.nii.gz', shape, zooms, sform=oblique, sform_code=4),
        make(folder, 'pair.img', shape, zooms, qform=flipped, qform_code=1, pair=True),
        make(folder, 'metres.nii', shape, (0.0009, 0.0011, 0.0013), sform=oblique / 1000,
             sform_code=1, unit='meter'),
        make(folder, 'micrometres.nii', shape, (900, 1100, 1300), qform=tilted * 1000,
             qform_code=1, unit='micron'),
    ]
    for path in paths:
        img = nib.load(path)
        h = img.header
        fields = [os.path.basename(path), h.get_xyzt_units()[0], int(h['sform_code']),
                  int(h['qform_code'])]
        fields += [int(n) for n in img.shape[:3]]
        fields += [repr(float(z)) for z in h.get_zooms()[:3]]
        fields += [repr(float(x)) for x in img.affine[:3, :].ravel()]
        print(' '.join(str(f) for f in fields))


if __name__ == '__main__':
    main()
