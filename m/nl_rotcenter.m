function S = nl_rotcenter(pointA, pointB, rot, P, D, E, Q, Fu, Fv, varargin)
% NL_ROTCENTER  A rotating-centre joint for a model's "NL" list.
%
%   S = nl_rotcenter(pointA, pointB, rot, P, D, E, Q, Fu, Fv) joins point A,
%   carried by a body that turns about its local z axis by the angle
%   theta = u(rot), to point B of another body, through a force that
%   depends on their relative displacement and velocity.  The module
%   computes it natively at every "residual" of a model holding S in its
%   "NL" list (see nl_list_add):
%     A = P * [cos(theta) -sin(theta) 0; sin(theta) cos(theta) 0; 0 0 1]
%     d = E + xB - A * (D + xA)              relative displacement
%     e = vB - A * (vA + omega * Q)          relative velocity, omega = v(rot)
%     F = Fu(d) + Fv(e)                      component by component
%   and adds F to r at B and -A.' * F at A.
%
%   pointA, pointB  the 1-based degrees of freedom of the point's local
%                   components x, y, z (3 values; 0: component not
%                   observed, taken as 0)
%   rot             the rotation degree of freedom
%   P               3x3 base orientation of A's body
%   D, E            offsets of A (before the rotation) and of B (3 values)
%   Q               velocity of A per unit of omega (3 values)
%   Fu, Fv          force tables [abscissa force] (k x 2, k >= 1, the
%                   abscissa not decreasing): force per component of d and
%                   of e, interpolated linearly, the first and last
%                   intervals extended beyond the table, the mean taken on
%                   a repeated abscissa (a step)
%
%   Options (name/value):
%     'fnl'   1-based position in model.FNL of the three components of F,
%             copied at every evaluation: one value (three consecutive
%             positions) or three (default 0: no copy)
%     'ndof'  N: give the points by observation matrices (3 x N) instead of
%             index lists.  This form copies F into model.FNL whenever the
%             model has one, so give 'fnl' with it then.
%
%   The interpolation cursors S.cur_u and S.cur_v are updated in place at
%   every evaluation: keep each entry's own arrays (building every entry
%   with this function does).
%
%   Example (a pivot between DOFs 4:6 and 7:9, turned by DOF 3; a stiff
%   spring with a clearance of 1 mm, viscous damping):
%     Fu = [-1 -1e6; -1e-3 0; 1e-3 0; 1 1e6];  Fv = [-1 -50; 1 50];
%     S = nl_rotcenter([4 5 6], [7 8 9], 3, eye(3), [0.1; 0; 0], ...
%                      [0.1; 0; 0], [0; 0.1; 0], Fu, Fv, 'fnl', 1);
  o = nl_options(struct('fnl', 0, 'ndof', 0), varargin, 'nl_rotcenter');
  [dofA, compA] = point_lists(pointA, 'A');
  [dofB, compB] = point_lists(pointB, 'B');
  if ~(isscalar(rot) && rot >= 1 && rot == fix(rot))
    error('VRK:spardyn:Invalid', 'nl_rotcenter: the rotation DOF must be a positive integer');
  end
  check_size(P, 9, 'P');
  check_size(D, 3, 'D'); check_size(E, 3, 'E'); check_size(Q, 3, 'Q');
  check_table(Fu, 'Fu'); check_table(Fv, 'Fv');
  fnl = fnl_positions(o.fnl);

  labels = {'rotation DOF'; 'P'; 'D'; 'E'; 'A DOFs'; 'A components'; ...
            'B DOFs'; 'B components'; ''; 'Q'; 'FNL positions (0-based)'; ...
            ''; ''; ''; 'A observation'; ''; 'B observation'};
  values = cell(17, 1);
  values([1:8 10]) = {rot, double(P), D(:), E(:), dofA, compA, dofB, compB, Q(:)};
  values{11} = fnl;
  if o.ndof > 0
    m = 17;   % points by observation matrices
    values{15} = observation(dofA, compA, o.ndof, 'A');
    values{17} = observation(dofB, compB, o.ndof, 'B');
  elseif isempty(fnl)
    m = 10;   % index lists, no copy into FNL
  else
    m = 11;
  end
  S = struct('type', 'rotcenter', 'Cell', {[labels(1:m) values(1:m)]}, ...
             'Fu', double(Fu), 'Fv', double(Fv), ...
             'cur_u', zeros(3, 1), 'cur_v', zeros(3, 1));
end

function [dofs, comps] = point_lists(point, name)
  if numel(point) ~= 3 || any(point(:) < 0) || any(point(:) ~= fix(point(:)))
    error('VRK:spardyn:Invalid', ['nl_rotcenter: point %s must give 3 ' ...
          'degrees of freedom (0 for a component not observed)'], name);
  end
  comps = find(point(:) > 0).';
  dofs = point(comps);
  dofs = double(dofs(:).');
end

function check_size(x, n, name)
  if ~isnumeric(x) || numel(x) ~= n
    error('VRK:spardyn:Invalid', 'nl_rotcenter: %s must hold %d values', name, n);
  end
end

function check_table(t, name)
  if ~isnumeric(t) || columns(t) ~= 2 || rows(t) < 1 || any(diff(t(:, 1)) < 0)
    error('VRK:spardyn:Invalid', ['nl_rotcenter: %s must be a table ' ...
          '[abscissa force] of at least one row, the abscissa not decreasing'], name);
  end
end

function p = fnl_positions(fnl)
  p = int32([]);
  if isequal(fnl, 0), return; end
  if isscalar(fnl), fnl = fnl + (0:2); end
  if numel(fnl) ~= 3 || any(fnl < 1) || any(fnl ~= fix(fnl))
    error('VRK:spardyn:Invalid', 'nl_rotcenter: ''fnl'' must be 1 or 3 positions');
  end
  p = int32(fnl(:).' - 1);
end

function s = observation(dofs, comps, ndof, name)
  if any(dofs > ndof)
    error('VRK:spardyn:Invalid', 'nl_rotcenter: point %s lies beyond the %d DOFs', name, ndof);
  end
  s = sparse_description(sparse(comps, dofs, 1, 3, ndof), true);
end
